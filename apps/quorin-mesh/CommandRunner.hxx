// The read -> run -> write pass that most commands make: refuse an output that cannot be
// written, read the input, run the command's algorithm step on it, write the result, with
// one progress bar filling across the three phases and one set of messages and exit codes.
// A command parses its arguments into a MeshCommand and hands its step to RunMeshCommand.
#ifndef quorinMesh_CommandRunner_HeaderFile
#define quorinMesh_CommandRunner_HeaderFile

#include "CellFields.hxx"
#include "CliNotifier.hxx"
#include "MeshInput.hxx"
#include "MeshOutput.hxx"

#include <algoMesh_ProgressScope.hxx>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cli
{

//! What a command reads and writes.
struct MeshCommand
{
  std::string      InPath;
  MeshInputOptions Options;
  //! Read a CAD file as a shape without meshing it (LoadShapeInput), for commands that
  //! mesh it themselves.
  bool IsShapeInput = false;

  //! Where the result goes; empty writes nothing.
  std::string OutPath;
  Encoding    OutEncoding = Encoding::Default;
  //! The output takes the input mesh with cell fields (.vtp or .vtu), named by this option
  //! in the messages ("--out"); null for a mesh output.
  const char* FieldOption = nullptr;
  //! The output's format ("BREP") when the command checks the output and writes it itself
  //! (the step sets the run's Writer); null for the formats SaveMesh writes.
  const char* OutFormat = nullptr;

  //! Text of the bar while the step runs. Set when the step starts, so that the reader's
  //! text does not stay on the bar of an algorithm that shows no text of its own.
  std::string RunText;

  //! Shares of the bar for reading and for the step; writing takes the rest.
  double ReadShare = 0.3;
  double RunShare  = 0.6;
};

//! The running command as its step sees it.
class CommandRun
{
public:
  explicit CommandRun(const MeshCommand& command);

  //! The entry the step hands to the library: progress lands in the step's share of the
  //! bar, Ctrl-C becomes a cancellation request, error messages are kept for Fail().
  const ActAPI_ProgressEntry& Progress() const { return m_progress; }

  const Handle(CliNotifier) & Notifier() const { return m_notifier; }

  //! A progress scope over the step's share of the bar with `text`, for a step that makes
  //! several library calls in turn (each takes its share with Next()); its range is the
  //! bar's, so every unit a call reports can move the bar.
  quorin::algoMesh_ProgressScope StepProgress(const char* text) const;

  //! The command's own output (printf's format), printed with the bar lifted.
  void Print(const char* format, ...) const __attribute__((format(printf, 2, 3)));

  //! Prints "quorin-mesh: error: <what>[: <library's last error>]" and answers the exit
  //! code: Exit_Interrupted after Ctrl-C, Exit_Failure otherwise.
  int Fail(const std::string& what) const;

  //! The mesh to write (mesh outputs).
  Handle(Poly_Triangulation) Result;
  //! The fields to write with the input mesh (field outputs).
  std::vector<CellField> Fields;
  //! Writes the result in place of SaveMesh (formats that keep more than the mesh).
  std::function<bool(const ActAPI_ProgressEntry& progress, std::string& error)> Writer;
  //! Appended to the "Wrote PATH (FORMAT)" line, e.g. ": 10 triangles, 8 nodes".
  std::string WroteDetail;
  //! Lines printed after the "Wrote" line.
  std::vector<std::string> AfterWrite;
  //! Work done last, after the result is written (further files of the command); answers
  //! nothing to end well, or the exit code to stop with.
  std::function<std::optional<int>(CommandRun& run)> Finish;

private:
  Handle(CliNotifier) m_notifier;
  ActAPI_ProgressEntry m_progress;
};

//! The command's algorithm step: works on the input, prints its account, fills the run's
//! result; answers nothing to go on to writing, or the exit code to stop with.
using MeshStep = std::function<std::optional<int>(CommandRun& run, MeshInput& input)>;

//! Work done before the input is read (reading a second file); same answers as a step.
using PrepareStep = std::function<std::optional<int>(CommandRun& run)>;

//! Runs the command: 1. checks the output, 2. prepares, 3. reads the input, 4. runs the
//! step, 5. writes the result and prints "Wrote PATH (FORMAT)" ("Wrote PATH" for fields),
//! 6. runs the step's Finish.
//! @return the exit code of the command
int RunMeshCommand(const MeshCommand& command,
                   const MeshStep&    step,
                   const PrepareStep& prepare = PrepareStep());

} // namespace cli

#endif
