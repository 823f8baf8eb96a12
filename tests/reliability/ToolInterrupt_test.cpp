// Ctrl-C at any moment of a quorin-mesh run, from the first instant (while the launcher
// loads the libraries) to the middle of the work: exit 130, one "interrupted" line and no
// output file.
#include <MeshBuilders.hxx>

#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRepTools.hxx>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#ifdef QUORIN_TOOL
namespace
{

struct InterruptedRun
{
  int         Status     = 0;     //!< as waitpid reports it
  bool        EndedFirst = false; //!< the run ended before the signal was sent
  std::string Errors;             //!< its standard error
  bool        WasCaught = false;  //!< the process handled SIGINT when the signal was sent
};

//! True when process `pid` has a handler for SIGINT (the mask of caught signals in its
//! status). Once installed, the tool never goes back to the default action.
bool catchesInterrupt(const pid_t pid)
{
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string   line;
  while (std::getline(status, line))
  {
    if (line.compare(0, 7, "SigCgt:") == 0)
    {
      return (std::stoull(line.substr(7), nullptr, 16) >> (SIGINT - 1)) & 1;
    }
  }
  return false;
}

//! Runs the tool with `arguments`, sends SIGINT `delay` seconds after the start and waits
//! for the end.
InterruptedRun interruptAfter(std::vector<std::string> arguments,
                              const double             delay,
                              const std::string&       errorsPath)
{
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  arguments.insert(arguments.begin(), QUORIN_TOOL);
  std::vector<char*> argv;
  for (std::string& word : arguments)
  {
    argv.push_back(&word[0]);
  }
  argv.push_back(nullptr);
  InterruptedRun run;
  pid_t          pid   = 0;
  const auto     start = std::chrono::steady_clock::now();
  EXPECT_EQ(0, posix_spawn(&pid, QUORIN_TOOL, &actions, nullptr, argv.data(), environ));
  posix_spawn_file_actions_destroy(&actions);
  std::this_thread::sleep_until(start + std::chrono::duration<double>(delay));
  run.EndedFirst = ::waitpid(pid, &run.Status, WNOHANG) == pid;
  if (!run.EndedFirst)
  {
    run.WasCaught = catchesInterrupt(pid);
    ::kill(pid, SIGINT);
    ::waitpid(pid, &run.Status, 0);
  }
  std::ifstream      in(errorsPath);
  std::ostringstream text;
  text << in.rdbuf();
  run.Errors = text.str();
  return run;
}

} // namespace

TEST(ToolInterrupt, CtrlCFromTheFirstInstantEndsWithTheToolsLineAndNoFile)
{
  // Wrapping the small sphere at a fine voxel size runs for seconds on an idle machine, so
  // every instant below falls inside the run: the first ones while the launcher loads the
  // commands' libraries, the later ones in the reading and the wrapping.
  const std::string folder = testmesh::TempPath("tool-interrupt");
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string output        = folder + "/wrapped.stl";
  const std::string errors        = testmesh::TempPath("tool-interrupt-errors.txt");
  int               nbEarlyCaught = 0;
  for (const double delay : {0.0, 0.002, 0.01, 0.03, 0.06, 0.1, 0.15, 0.2, 0.3, 0.5, 1.0})
  {
    const InterruptedRun run =
        interruptAfter({"wrap", std::string(QUORIN_TEST_DATA_DIR) + "/stl/cgal_sphere.stl", output,
                        "--size", "0.004"},
                       delay, errors);
    ASSERT_FALSE(run.EndedFirst) << "the run ended before " << delay << " s: " << run.Errors;
    EXPECT_TRUE(std::filesystem::is_empty(folder)) << "a file was left at " << delay << " s";
    // Between the start of the process and the launcher's first instruction (about a
    // millisecond, as it loads the C library only, longer when the machine is busy) no
    // handler can exist yet, and the signal ends the process as it ends any other; nothing
    // is written by then either. Once the handler is there, every signal ends the run in
    // the tool's words.
    if (!run.WasCaught && WIFSIGNALED(run.Status))
    {
      EXPECT_EQ(SIGINT, WTERMSIG(run.Status));
      EXPECT_EQ("", run.Errors);
      continue;
    }
    nbEarlyCaught += run.WasCaught && delay < 0.1 ? 1 : 0;
    ASSERT_TRUE(WIFEXITED(run.Status))
        << "ended by signal " << WTERMSIG(run.Status) << " at " << delay << " s";
    EXPECT_EQ(130, WEXITSTATUS(run.Status)) << "at " << delay << " s: " << run.Errors;
    EXPECT_EQ("quorin-mesh: error: interrupted\n", run.Errors) << "at " << delay << " s";
  }
  // Loading the libraries takes 0.1 - 0.3 s: a handler in place before that is the
  // launcher's (the commands install theirs only after loading).
  EXPECT_GE(nbEarlyCaught, 1) << "no signal in the first 0.1 s found a handler";
}
TEST(ToolInterrupt, CtrlCDuringTheSurfaceTessellatorEndsTheRunAtOnce)
{
  // The tessellator cannot be stopped from inside (it is handed no progress entry), so the
  // tool must end the process itself. A unit sphere at this size takes seconds to mesh.
  const std::string part = testmesh::TempPath("tool-interrupt-sphere.brep");
  ASSERT_TRUE(BRepTools::Write(BRepPrimAPI_MakeSphere(1.0).Shape(), part.c_str()));
  const std::string folder = testmesh::TempPath("tool-interrupt-mesh");
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string    errors = testmesh::TempPath("tool-interrupt-mesh-errors.txt");
  const double         delay  = 1.0;
  const auto           start  = std::chrono::steady_clock::now();
  const InterruptedRun run    = interruptAfter(
         {"mesh", part, folder + "/sphere.stl", "--zelt", "--size", "0.004"}, delay, errors);
  const double afterSignal =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() - delay;
  ASSERT_FALSE(run.EndedFirst) << run.Errors;
  ASSERT_TRUE(WIFEXITED(run.Status)) << "ended by signal " << WTERMSIG(run.Status);
  EXPECT_EQ(130, WEXITSTATUS(run.Status)) << run.Errors;
  EXPECT_EQ("quorin-mesh: error: interrupted\n", run.Errors);
  EXPECT_TRUE(std::filesystem::is_empty(folder));
  // The watch polls every 10 ms; the bound leaves room for a busy machine.
  EXPECT_LT(afterSignal, 1.0);
}

#endif
