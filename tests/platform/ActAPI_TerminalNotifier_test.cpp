#include <ActAPI_ProgressEntry.hxx>
#include <ActAPI_TerminalNotifier.hxx>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{
std::string readAll(FILE* file)
{
  std::fflush(file);
  std::rewind(file);
  std::string text;
  char        buffer[256];
  size_t      size = 0;
  while ((size = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
  {
    text.append(buffer, size);
  }
  return text;
}
} // namespace

TEST(ActAPI_TerminalNotifier, PrintsMessagesWithSeverityAndFilledPlaceholders)
{
  FILE* file = std::tmpfile();
  ASSERT_NE(nullptr, file);
  {
    Handle(ActAPI_TerminalNotifier) notifier = new ActAPI_TerminalNotifier(file);
    ActAPI_ProgressEntry progress(notifier);

    ActAPI_LogMessage info(LogPriority_Normal, LogSeverity_Info);
    info << "Reading file '%1'."
         << "part.stl";
    ActAPI_LogMessage warning(LogPriority_Normal, LogSeverity_Warning);
    warning << "Skipped element with index %1 due to duplication." << 17;
    ActAPI_LogMessage error(LogPriority_High, LogSeverity_Error);
    error << "Cannot open the file for reading.";

    progress.Init("Reading", 10);
    progress.SendLogMessage(info);
    progress.StepProgress(5);
    progress.SendLogMessage(warning);
    progress.Complete();
    progress.SendLogMessage(error);
  }
  // A file is not a terminal, so no bar is drawn: only the messages, one per line.
  EXPECT_EQ("[info] Reading file 'part.stl'.\n"
            "[warning] Skipped element with index 17 due to duplication.\n"
            "[error] Cannot open the file for reading.\n",
            readAll(file));
  std::fclose(file);
}

TEST(ActAPI_TerminalNotifier, TracksProgressAndCancellation)
{
  FILE* file = std::tmpfile();
  ASSERT_NE(nullptr, file);
  Handle(ActAPI_TerminalNotifier) notifier = new ActAPI_TerminalNotifier(file, false);
  notifier->SetRange(40);
  EXPECT_EQ(40, notifier->Range());
  EXPECT_FALSE(notifier->IsCancelRequested());
  notifier->RequestCancel();
  EXPECT_TRUE(notifier->IsCancelRequested());
  notifier->ResetProgress();
  EXPECT_EQ(0, notifier->Range());
  notifier.Nullify();
  EXPECT_EQ("", readAll(file));
  std::fclose(file);
}

// The interrupt flag is process-wide, so the Ctrl-C cases run in child processes.
TEST(ActAPI_TerminalNotifierDeathTest, FirstInterruptRequestsCancellation)
{
  EXPECT_EXIT(
      {
        Handle(ActAPI_TerminalNotifier) notifier = new ActAPI_TerminalNotifier(stderr, false);
        ActAPI_TerminalNotifier::InstallInterruptHandler();
        const bool before = notifier->IsCancelRequested();
        std::raise(SIGINT);
        std::_Exit(!before && notifier->IsCancelRequested() ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(ActAPI_TerminalNotifierDeathTest, SecondInterruptEndsTheProcess)
{
  EXPECT_EXIT(
      {
        ActAPI_TerminalNotifier::InstallInterruptHandler();
        std::raise(SIGINT);
        std::raise(SIGINT);
        std::_Exit(0);
      },
      testing::KilledBySignal(SIGINT), "");
}
