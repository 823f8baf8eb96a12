#include "CommandRunner.hxx"

#include "Commands.hxx"

#include <cstdarg>
#include <cstdio>

namespace cli
{

CommandRun::CommandRun(const MeshCommand&)
    : m_notifier(CliNotifier::Start()), m_progress(m_notifier)
{
}

quorin::algoMesh_ProgressScope CommandRun::StepProgress(const char* text) const
{
  return quorin::algoMesh_ProgressScope(m_progress, text, CliNotifier::BarUnits);
}

void CommandRun::Print(const char* format, ...) const
{
  va_list arguments;
  va_start(arguments, format);
  m_notifier->PrintV(format, arguments);
  va_end(arguments);
}

int CommandRun::Fail(const std::string& what) const
{
  m_notifier->EndPhases();
  if (m_notifier->IsCancelRequested())
  {
    return cli::Fail("interrupted", Exit_Interrupted);
  }
  const std::string reason = m_notifier->LastError();
  return cli::Fail(what + (reason.empty() ? std::string() : ": " + reason), Exit_Failure);
}

int RunMeshCommand(const MeshCommand& command, const MeshStep& step, const PrepareStep& prepare)
{
  // 1. Refuse an output we cannot write before spending time on the input.
  std::string description = command.OutFormat != nullptr ? command.OutFormat : "";
  if (!command.OutPath.empty() && command.OutFormat == nullptr)
  {
    const std::optional<int> refused =
        command.FieldOption != nullptr
            ? CheckFieldOutput(command.FieldOption, command.OutPath)
            : CheckOutput(command.OutPath, command.OutEncoding, description);
    if (refused)
    {
      return *refused;
    }
  }

  // 2. Prepare and 3. read, on the first share of the bar.
  CommandRun run(command);
  run.Notifier()->BeginPhase(command.ReadShare);
  if (prepare)
  {
    if (const std::optional<int> stop = prepare(run))
    {
      return *stop;
    }
  }
  MeshInput   input;
  std::string error;
  const bool  isRead =
      command.IsShapeInput
           ? LoadShapeInput(command.InPath, run.Progress(), input, error)
           : LoadMeshInput(command.InPath, command.Options, run.Progress(), input, error);
  if (!isRead)
  {
    run.Notifier()->EndPhases();
    return Fail(error, run.Notifier()->IsCancelRequested() ? Exit_Interrupted : Exit_Failure);
  }

  // 4. Run the step.
  run.Notifier()->BeginPhase(command.RunShare);
  run.Notifier()->SetProgressMessage(command.RunText.c_str());
  if (const std::optional<int> stop = step(run, input))
  {
    return *stop;
  }

  if (!command.OutPath.empty())
  {
    // 5. Write; writers that set no text of their own show this one.
    run.Notifier()->BeginPhase(1.0);
    run.Notifier()->SetProgressMessage("Writing");
    const bool isWritten =
        run.Writer ? run.Writer(run.Progress(), error)
        : command.FieldOption != nullptr
            ? SaveCellFields(input.Mesh, run.Fields, command.OutPath, run.Progress(), error)
            : SaveMesh(run.Result, command.OutPath, command.OutEncoding, run.Progress(), error);
    run.Notifier()->EndPhases();
    if (!isWritten)
    {
      return Fail(error, run.Notifier()->IsCancelRequested() ? Exit_Interrupted : Exit_Failure);
    }
    if (command.FieldOption != nullptr)
    {
      run.Print("Wrote %s\n", command.OutPath.c_str());
    }
    else
    {
      run.Print("Wrote %s (%s)%s\n", command.OutPath.c_str(), description.c_str(),
                run.WroteDetail.c_str());
    }
    for (const std::string& line : run.AfterWrite)
    {
      run.Print("%s\n", line.c_str());
    }
  }

  // 6. Finish.
  if (run.Finish)
  {
    if (const std::optional<int> stop = run.Finish(run))
    {
      return *stop;
    }
  }
  return Exit_Ok;
}

} // namespace cli
