// quorin-mesh: the command-line face of the library. The first argument names a command
// of the table below; everything after it belongs to the command. The executable is a
// launcher (launcher/Launcher.cxx) that loads this library and calls quorin_mesh_main.
#include "Commands.hxx"

#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Message_Printer.hxx>
#include <Standard_Failure.hxx>

#include <vtkLogger.h>
#include <vtkObject.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <new>

namespace cli
{

const std::vector<Command>& AllCommands()
{
  static const std::vector<Command> THE_COMMANDS = {
      {"demo",
       "mesh a sample CAD part, check, simplify and wrap it, write it as STL, PLY, OBJ and VTP",
       RunDemo},
      {"info", "print the statistics of a mesh or CAD file", RunInfo},
      {"check", "grade the triangles of a mesh or CAD file by quality metrics", RunCheck},
      {"convert",
       "write a mesh or CAD file's mesh in another format (STL, PLY, OBJ, NAS, VTP, VTU)",
       RunConvert},
      {"decimate", "reduce the triangles of a mesh by quadric edge collapse or vertex removal",
       RunDecimate},
      {"smooth", "smooth the mesh of a mesh or CAD file (OpenMesh or VTK)", RunSmooth},
      {"fill-holes", "close the holes of the mesh of a mesh or CAD file", RunFillHoles},
      {"obfuscate", "write a disguised copy of a CAD model, faces replaced by distorted meshes",
       RunObfuscate},
      {"wrap", "wrap a dirty mesh or CAD file into a closed, manifold envelope", RunWrap},
      {"overlap", "measure how much the solids of two closed meshes overlap", RunOverlap},
      {"mesh", "mesh a CAD part (STEP, BREP) to a deflection or a maximum edge size", RunMesh},
      {"selfx", "find the triangles of a mesh that cross each other, in connected groups",
       RunSelfx},
      {"deviation", "measure how far the triangles of a mesh lie from a CAD part", RunDeviation},
      {"hull", "write the convex hull of a mesh's nodes or of a point cloud", RunHull},
      {"obb", "print (and write) the oriented bounding box of a mesh or point cloud", RunObb},
  };
  return THE_COMMANDS;
}

std::string LowerExtension(const std::string& path)
{
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

bool IsHelp(const std::string& argument)
{
  return argument == "-h" || argument == "--help";
}

int Fail(const std::string& message, const int code)
{
  std::fprintf(stderr, "quorin-mesh: error: %s\n", message.c_str());
  return code;
}

bool ParsePositive(const std::string& option, const std::string& text, double& value)
{
  char*        end    = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(parsed > 0.0) || parsed > 1e300)
  {
    Fail(option + " needs a positive number, got '" + text + "'", Exit_Usage);
    return false;
  }
  value = parsed;
  return true;
}

} // namespace cli

namespace
{
void printOverview(FILE* stream)
{
  std::fprintf(stream, "Usage: quorin-mesh <command> [options]\n\nCommands:\n");
  for (const cli::Command& command : cli::AllCommands())
  {
    std::fprintf(stream, "  %-10s %s\n", command.Name, command.Summary);
  }
  std::fprintf(stream, "\nRun 'quorin-mesh <command> --help' for the options of a command.\n");
}

// The kernel and VTK print their traces and failures on the console by default; the
// library's readers and writers report every failure in their own words through the
// command's notifier, so the third-party lines are not printed at all.
void quietThirdPartyMessages()
{
  Message::DefaultMessenger()->ChangePrinters().Clear();
  vtkObject::GlobalWarningDisplayOff();
  vtkLogger::SetStderrVerbosity(vtkLogger::VERBOSITY_OFF);
}
} // namespace

extern "C" __attribute__((visibility("default"))) int quorin_mesh_main(int argc, char** argv)
{
  if (argc < 2)
  {
    printOverview(stderr);
    return cli::Exit_Usage;
  }
  const std::string name = argv[1];
  if (cli::IsHelp(name))
  {
    printOverview(stdout);
    return cli::Exit_Ok;
  }
  const std::vector<std::string> arguments(argv + 2, argv + argc);
  quietThirdPartyMessages();
  for (const cli::Command& command : cli::AllCommands())
  {
    if (name != command.Name)
    {
      continue;
    }
    // Commands answer their own failures; these catch what the kernel throws at them.
    try
    {
      return command.Run(arguments);
    }
    catch (const Standard_Failure&)
    {
      // The commands' first operand is the file they read.
      const auto input = std::find_if(arguments.begin(), arguments.end(),
                                      [](const std::string& word) { return word[0] != '-'; });
      return cli::Fail("the modelling kernel failed on inconsistent data" +
                       (input == arguments.end() ? std::string() : " in '" + *input + "'"));
    }
    catch (const std::bad_alloc&)
    {
      return cli::Fail("not enough memory");
    }
    catch (const std::exception&)
    {
      return cli::Fail("an internal error stopped the command");
    }
  }
  cli::Fail("unknown command '" + name + "' (run 'quorin-mesh --help' for the list)",
            cli::Exit_Usage);
  return cli::Exit_Usage;
}
