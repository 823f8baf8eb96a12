// Writes a fuzzer input to a temporary file of this process, for readers that take paths.
#ifndef FuzzFile_HeaderFile
#define FuzzFile_HeaderFile

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

inline std::string FuzzFile(const uint8_t* data, const size_t size, const char* extension)
{
  const std::string path =
      "/tmp/quorin-fuzz-" + std::to_string(static_cast<long>(getpid())) + extension;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file != nullptr)
  {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  return path;
}

#endif
