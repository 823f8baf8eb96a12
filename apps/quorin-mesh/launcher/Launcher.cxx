// The quorin-mesh executable: a launcher that needs nothing but the C library. It makes
// Ctrl-C end the tool with its exit code and one "interrupted" line first, and only then
// loads the commands, which bring the modelling kernel, VTK and the rest of the library:
// binding their symbols and running their static initialisers takes 0.1 - 0.3 s, during
// which a Ctrl-C would otherwise end the process by the default signal, without a word.
// Nothing has been written while the libraries load, so ending at once leaves no file; a
// command replaces the handler with its cancellation request as soon as it starts.
#include "../Commands.hxx"

#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

namespace
{
const char THE_INTERRUPTED_LINE[] = "quorin-mesh: error: interrupted\n";
const char THE_COMMANDS[]         = "libquorin-mesh-commands.so";

// Only async-signal-safe calls: the signal may come in the middle of the dynamic loader.
extern "C" void onEarlyInterrupt(int)
{
  const ssize_t written =
      ::write(STDERR_FILENO, THE_INTERRUPTED_LINE, sizeof(THE_INTERRUPTED_LINE) - 1);
  (void)written;
  ::_exit(cli::Exit_Interrupted);
}
} // namespace

int main(int argc, char** argv)
{
  struct sigaction action = {};
  action.sa_handler       = onEarlyInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);

  // The commands' library lies beside the executable in the build tree and in the library
  // folder once installed. Both are tried by their full path first, as a sanitizer's dlopen
  // searches the run path of its own runtime instead of the executable's; then the run path.
  void*      commands = nullptr;
  char       folder[4096];
  const long length = ::readlink("/proc/self/exe", folder, sizeof(folder) - 1);
  if (length > 0)
  {
    folder[length]              = '\0';
    *(strrchr(folder, '/') + 1) = '\0';
    char candidate[sizeof(folder) + 64];
    for (const char* place : {"", "../" QUORIN_INSTALL_LIBDIR "/"})
    {
      snprintf(candidate, sizeof(candidate), "%s%s%s", folder, place, THE_COMMANDS);
      if (commands == nullptr && ::access(candidate, R_OK) == 0)
      {
        commands = dlopen(candidate, RTLD_NOW | RTLD_LOCAL);
      }
    }
  }
  if (commands == nullptr)
  {
    commands = dlopen(THE_COMMANDS, RTLD_NOW | RTLD_LOCAL);
  }
  if (commands == nullptr)
  {
    fprintf(stderr, "quorin-mesh: error: cannot load its commands: %s\n", dlerror());
    return cli::Exit_Failure;
  }
  using Entry       = int (*)(int, char**);
  const Entry entry = reinterpret_cast<Entry>(dlsym(commands, "quorin_mesh_main"));
  if (entry == nullptr)
  {
    fprintf(stderr, "quorin-mesh: error: cannot load its commands: %s\n", dlerror());
    return cli::Exit_Failure;
  }
  return entry(argc, argv);
}
