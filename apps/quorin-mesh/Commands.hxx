// The commands of quorin-mesh and the small helpers they share. Each command lives in its
// own Cmd<Name>.cxx; a new command is one more source file and one more row of the table
// in main.cxx.
#ifndef quorinMesh_Commands_HeaderFile
#define quorinMesh_Commands_HeaderFile

#include <string>
#include <vector>

namespace cli
{

//! Exit codes of the tool.
enum ExitCode
{
  Exit_Ok          = 0,
  Exit_Failure     = 1,  //!< the work failed: unreadable file, failed meshing, ...
  Exit_Usage       = 2,  //!< the command line is wrong
  Exit_Interrupted = 130 //!< stopped with Ctrl-C, as a shell reports SIGINT
};

//! One row of the command table.
struct Command
{
  const char* Name;
  const char* Summary;                                   //!< one line for the overview
  int (*Run)(const std::vector<std::string>& arguments); //!< arguments after the name
};

//! The command table, in the order the overview lists it.
const std::vector<Command>& AllCommands();

int RunDemo(const std::vector<std::string>& arguments);
int RunInfo(const std::vector<std::string>& arguments);
int RunCheck(const std::vector<std::string>& arguments);
int RunConvert(const std::vector<std::string>& arguments);
int RunDecimate(const std::vector<std::string>& arguments);
int RunSmooth(const std::vector<std::string>& arguments);
int RunFillHoles(const std::vector<std::string>& arguments);
int RunObfuscate(const std::vector<std::string>& arguments);
int RunWrap(const std::vector<std::string>& arguments);
int RunOverlap(const std::vector<std::string>& arguments);
int RunMesh(const std::vector<std::string>& arguments);
int RunSelfx(const std::vector<std::string>& arguments);
int RunDeviation(const std::vector<std::string>& arguments);
int RunHull(const std::vector<std::string>& arguments);
int RunObb(const std::vector<std::string>& arguments);

//! Extension of a path with its dot, in lower case (".stl"); empty when it has none.
std::string LowerExtension(const std::string& path);

//! True for "-h" and "--help".
bool IsHelp(const std::string& argument);

//! Prints "quorin-mesh: error: <message>" on standard error and answers `code`.
int Fail(const std::string& message, const int code = Exit_Failure);

//! Reads a positive number given to an option; prints the error and answers false when
//! the text is not one.
bool ParsePositive(const std::string& option, const std::string& text, double& value);

} // namespace cli

#endif
