// The command line of the commands that read files: help, --deflection D, the command's
// own options and the files, with one set of messages and exit codes for all of them.
#ifndef quorinMesh_ArgParser_HeaderFile
#define quorinMesh_ArgParser_HeaderFile

#include "MeshOutput.hxx"

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cli
{

//! An option of one command besides --deflection and --help.
struct CommandOption
{
  const char* Name;       //!< "--weld"
  bool        TakesValue; //!< the next argument is its value
  //! Takes the option (with its value, or an empty text) and answers Exit_Ok, or prints
  //! the error and answers the exit code.
  std::function<int(const std::string& value)> Apply;
};

//! How a command is called.
struct CommandSyntax
{
  const char* Name;      //!< "info", for the messages
  size_t      NbFiles;   //!< number of files the command needs
  const char* FilesText; //!< the same in words: "one file"
  void (*PrintUsage)(FILE* stream);
  std::vector<CommandOption> Options;
  size_t                     NbOptionalFiles = 0; //!< the last files that may be left out
};

//! Walks `arguments` in order. Help prints the usage on standard output; a missing value,
//! a bad deflection, an unknown option, a file too many print the error on standard error,
//! and so do too few files (fewer than NbFiles - NbOptionalFiles), with the usage. Answers
//! the exit code when the command is to stop there, nothing when it is to run on `files`
//! and `deflection` (unchanged when not given). A lone "-" is a file, not an option.
std::optional<int> ParseCommandLine(const CommandSyntax&            syntax,
                                    const std::vector<std::string>& arguments,
                                    std::vector<std::string>&       files,
                                    double&                         deflection);

//! The options --ascii and --binary, which set `encoding` and may be repeated but not
//! mixed. `encoding` must outlive the parsing.
std::vector<CommandOption> EncodingOptions(Encoding& encoding);

} // namespace cli

#endif
