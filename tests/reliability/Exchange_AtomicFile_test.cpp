// All-or-nothing writing: the helper itself, and every writer of the library under a full
// disk, a cancellation and two writers of one path.
#include <MeshBuilders.hxx>

#include <Exchange_AtomicFile.hxx>
#include <algoMesh_Convert.hxx>
#include <algoMesh_NAS.hxx>
#include <algoMesh_OBJ.hxx>
#include <algoMesh_PLY.hxx>
#include <algoMesh_STL.hxx>
#include <algoMesh_VTK_XML.hxx>

#include <ActAPI_RecordingNotifier.hxx>
#include <CancelProbe.hxx>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <chrono>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quorin;

namespace
{

std::string readBytes(const std::string& path)
{
  std::ifstream      in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

//! Names of the files in a folder.
std::vector<std::string> filesIn(const std::string& folder)
{
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
  {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

//! A fresh empty folder for one test.
std::string freshFolder(const std::string& name)
{
  const std::string folder = testmesh::TempPath(name);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

//! One writer of the library, writing `mesh` to `path`; true on success.
struct Writer
{
  const char* Extension;
  std::function<bool(const Handle(Poly_Triangulation)&, const std::string&, ActAPI_ProgressEntry)>
      Write;
};

std::vector<Writer> writers()
{
  const auto vtk = [](const bool poly)
  {
    return [poly](const Handle(Poly_Triangulation) & mesh, const std::string& path,
                  ActAPI_ProgressEntry progress)
    {
      Handle(MorvDS_Mesh) model;
      algoMesh_Convert::ToMorv(mesh, TopLoc_Location(), model);
      const NCollection_Vector<Handle(algoMesh_Field)> none;
      return (poly ? algoMesh_VTK_XML::WriteVTP(model, none, TopLoc_Location(), path.c_str(),
                                                progress, true)
                   : algoMesh_VTK_XML::WriteVTU(model, none, TopLoc_Location(), path.c_str(),
                                                progress, true)) == ExportStatus_Ok;
    };
  };
  return {
      {".stl", [](const Handle(Poly_Triangulation) & mesh, const std::string& path,
                  ActAPI_ProgressEntry progress)
       { return algoMesh_STL::Write(mesh, path.c_str(), progress, true) == ExportStatus_Ok; }},
      {".stl", [](const Handle(Poly_Triangulation) & mesh, const std::string& path,
                  ActAPI_ProgressEntry progress)
       { return algoMesh_STL::Write(mesh, path.c_str(), progress, false) == ExportStatus_Ok; }},
      {".ply",
       [](const Handle(Poly_Triangulation) & mesh, const std::string& path,
          ActAPI_ProgressEntry progress)
       {
         NCollection_Vector<Handle(Poly_Triangulation)> meshes;
         NCollection_Vector<TopLoc_Location>            locations;
         meshes.Append(mesh);
         locations.Append(TopLoc_Location());
         return algoMesh_PLY::Write(
                    meshes, locations, path.c_str(), progress, false,
                    NCollection_Vector<NCollection_DataMap<int, Quantity_Color>>()) ==
                ExportStatus_Ok;
       }},
      {".obj",
       [](const Handle(Poly_Triangulation) & mesh, const std::string& path,
          ActAPI_ProgressEntry progress)
       {
         algoMesh_OBJ writer(progress);
         writer.AddMesh(mesh, gp_Trsf());
         return writer.Write(path);
       }},
      {".nas", [](const Handle(Poly_Triangulation) & mesh, const std::string& path,
                  ActAPI_ProgressEntry progress)
       { return algoMesh_NAS::Write(mesh, path.c_str(), progress) == ExportStatus_Ok; }},
      {".vtp", vtk(true)},
      {".vtu", vtk(false)},
  };
}

} // namespace

TEST(Exchange_AtomicFile, TargetIsReplacedOnlyOnCommit)
{
  const std::string folder = freshFolder("atomic-commit");
  const std::string target = folder + "/out.txt";
  std::ofstream(target) << "old";
  ::chmod(target.c_str(), 0640);
  {
    Exchange_AtomicFile file(target);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_TRUE(file.Write(std::string("new")));
    EXPECT_EQ("old", readBytes(target)); // nothing visible before the commit
    EXPECT_EQ(2u, filesIn(folder).size());
    ASSERT_TRUE(file.Commit());
  }
  EXPECT_EQ("new", readBytes(target));
  EXPECT_EQ(std::vector<std::string>{"out.txt"}, filesIn(folder));
  struct stat info;
  ASSERT_EQ(0, ::stat(target.c_str(), &info));
  EXPECT_EQ(0640u, info.st_mode & 0777u); // the replaced file's mode is kept

  // Dropped without commit, or discarded: the target stays, the temporary goes.
  {
    Exchange_AtomicFile file(target);
    file.Write(std::string("lost"));
  }
  {
    Exchange_AtomicFile file(target);
    file.Write(std::string("lost"));
    file.Fail();
    EXPECT_FALSE(file.Commit());
  }
  EXPECT_EQ("new", readBytes(target));
  EXPECT_EQ(std::vector<std::string>{"out.txt"}, filesIn(folder));
}

TEST(Exchange_AtomicFile, FailuresAreNamed)
{
  Exchange_AtomicFile missing(testmesh::TempPath("no-such-folder/out.txt"));
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ("no such directory", missing.Error());

  // A device is written in place; a full one fails on the flush at the latest.
  Exchange_AtomicFile full("/dev/full");
  ASSERT_TRUE(full.IsOpen());
  full.Write(std::string(100, 'x'));
  EXPECT_FALSE(full.Commit());
  EXPECT_EQ("no space left on the device", full.Error());
}

TEST(Exchange_AtomicFile, EveryWriterWritesATargetWhoseNameHasTheLongestLengthAllowed)
{
  // 255 bytes, the longest name a folder entry may have: the temporary beside it must not
  // need more.
  const std::string folder = freshFolder("atomic-long-name");
  for (const Writer& writer : writers())
  {
    const std::string extension = writer.Extension;
    const std::string target = folder + "/" + std::string(255 - extension.size(), 'n') + extension;
    EXPECT_TRUE(writer.Write(testmesh::Sphere(1.0, 8, 4), target, ActAPI_ProgressEntry()))
        << extension;
    EXPECT_TRUE(std::filesystem::is_regular_file(target)) << extension;
    std::filesystem::remove(target);
  }
  EXPECT_TRUE(filesIn(folder).empty());
}

TEST(Exchange_AtomicFile, EveryWriterFailsOnAFullDiskWithAMessage)
{
  const Handle(Poly_Triangulation) mesh = testmesh::Tetra();
  for (const Writer& writer : writers())
  {
    Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
    EXPECT_FALSE(writer.Write(mesh, "/dev/full", notifier)) << writer.Extension;
    EXPECT_FALSE(notifier->Texts().empty()) << writer.Extension;
  }
}

TEST(Exchange_AtomicFile, EveryWriterFailsOnANearlyFullDiskAndKeepsTheTarget)
{
  // A small file system fills up in the middle of the file, after the first writes went
  // through (where /dev/full refuses the first): the target keeps its old content and no
  // temporary file is left.
  const std::string folder = freshFolder("nearly-full");
  if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=48k") != 0)
  {
    GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
  }
  const struct Unmount
  {
    std::string Folder;
    ~Unmount() { ::umount(Folder.c_str()); }
  } unmount{folder};
  const Handle(Poly_Triangulation) mesh = testmesh::Sphere(1.0, 120, 60); // over 48 KB in all
  for (const Writer& writer : writers())
  {
    const std::string target = folder + "/out" + writer.Extension;
    std::ofstream(target) << "old";
    Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
    EXPECT_FALSE(writer.Write(mesh, target, notifier)) << writer.Extension;
    ASSERT_FALSE(notifier->Texts().empty()) << writer.Extension;
    if (std::string(writer.Extension) != ".nas") // its writer names no reason
    {
      EXPECT_NE(std::string::npos, notifier->Texts()[0].find("no space left on the device"))
          << notifier->Texts()[0];
    }
    EXPECT_EQ("old", readBytes(target)) << writer.Extension;
    EXPECT_EQ(std::vector<std::string>{"out" + std::string(writer.Extension)}, filesIn(folder));
    std::filesystem::remove(target);
  }
}

TEST(Exchange_AtomicFile, EveryWriterRefusesAPipeNobodyReadsAndFeedsOneThatIsRead)
{
  // Opening a pipe without a reader would block, deaf to Ctrl-C, until one came.
  const Handle(Poly_Triangulation) mesh = testmesh::Tetra();
  const std::string pipe                = testmesh::TempPath("atomic.fifo");
  std::filesystem::remove(pipe);
  ASSERT_EQ(0, ::mkfifo(pipe.c_str(), 0600));
  for (const Writer& writer : writers())
  {
    Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
    EXPECT_FALSE(writer.Write(mesh, pipe, notifier)) << writer.Extension;
    ASSERT_EQ(1u, notifier->Texts().size()) << writer.Extension;
    EXPECT_NE(std::string::npos, notifier->Texts()[0].find("no process is reading from the pipe"))
        << notifier->Texts()[0];

    // With a reader at the other end the whole file goes through the pipe.
    std::string received;
    std::thread reader([&]() { received = readBytes(pipe); });
    bool        isWritten = false;
    for (int attempt = 0; attempt < 500 && !isWritten; ++attempt)
    {
      isWritten = writer.Write(mesh, pipe, ActAPI_ProgressEntry());
      if (!isWritten)
      {
        std::this_thread::sleep_for(std::chrono::milliseconds(10)); // until the reader opens
      }
    }
    reader.join();
    EXPECT_TRUE(isWritten) << writer.Extension;
    EXPECT_FALSE(received.empty()) << writer.Extension;
  }
}

TEST(Exchange_AtomicFile, CancelledWritesLeaveThePreviousTargetAndNoTemporary)
{
  const Handle(Poly_Triangulation) mesh = testmesh::Sphere(1.0, 160, 80);
  for (const Writer& writer : writers())
  {
    const std::string folder = freshFolder(std::string("atomic-cancel") + writer.Extension);
    const std::string target = folder + "/out" + writer.Extension;
    std::ofstream(target) << "previous";
    Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
    notifier->CancelAfterPolls(2);
    EXPECT_FALSE(writer.Write(mesh, target, notifier)) << writer.Extension;
    EXPECT_EQ("previous", readBytes(target)) << writer.Extension;
    EXPECT_EQ(std::vector<std::string>{"out" + std::string(writer.Extension)}, filesIn(folder))
        << writer.Extension;
  }
}

TEST(Exchange_AtomicFile, TwoWritersOfOnePathLeaveOneCompleteFile)
{
  const Handle(Poly_Triangulation) small = testmesh::Sphere(1.0, 40, 20);
  const Handle(Poly_Triangulation) large = testmesh::Sphere(2.0, 200, 100);
  const std::string target               = freshFolder("atomic-race") + "/out.stl";
  for (int round = 0; round < 4; ++round)
  {
    bool        written[2] = {false, false};
    std::thread first(
        [&]()
        { written[0] = algoMesh_STL::Write(small, target.c_str(), {}, true) == ExportStatus_Ok; });
    std::thread second(
        [&]()
        { written[1] = algoMesh_STL::Write(large, target.c_str(), {}, true) == ExportStatus_Ok; });
    first.join();
    second.join();
    EXPECT_TRUE(written[0] && written[1]);
    Handle(Poly_Triangulation) read;
    ASSERT_TRUE(algoMesh_STL::Read(target.c_str(), read, {}));
    EXPECT_TRUE(read->NbTriangles() == small->NbTriangles() ||
                read->NbTriangles() == large->NbTriangles())
        << read->NbTriangles();
  }
}

#ifdef QUORIN_TOOL
namespace
{

//! The last percentage the tool's progress bar shows in `text` (its standard error), or -1.
double lastPercent(const std::string& text)
{
  const size_t percent = text.rfind('%');
  const size_t start   = percent == std::string::npos ? percent : text.rfind(' ', percent - 1);
  const size_t bar     = start == std::string::npos ? start : text.rfind(']', start);
  if (bar == std::string::npos || text.find_first_not_of(' ', bar + 1) != start + 1)
  {
    return -1.0;
  }
  return std::atof(text.substr(start + 1, percent - start - 1).c_str());
}

//! Appends what the terminal's other end has to read to `text`.
void drain(const int master, std::string& text)
{
  char    buffer[4096];
  ssize_t got = 0;
  while ((got = ::read(master, buffer, sizeof(buffer))) > 0)
  {
    text.append(buffer, static_cast<size_t>(got));
  }
}

//! Runs `quorin-mesh convert input output` with its standard error on a terminal (the tool
//! draws its progress bar only there), sending Ctrl-C (SIGINT) as soon as the bar shows
//! `interruptAt` percent or more; answers the exit code, the error output and the seconds
//! from the signal to the exit (-1 when the run ended before the bar got there).
int convert(const std::string& input,
            const std::string& output,
            const double       interruptAt,
            std::string&       errors,
            double&            seconds)
{
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  EXPECT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
  ::fcntl(master, F_SETFL, O_NONBLOCK);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, ::ptsname(master), O_RDWR | O_NOCTTY, 0);
  std::vector<std::string> words = {QUORIN_TOOL, "convert", input, output};
  std::vector<char*>       argv;
  for (std::string& word : words)
  {
    argv.push_back(&word[0]);
  }
  argv.push_back(nullptr);
  pid_t pid = 0;
  EXPECT_EQ(0, posix_spawn(&pid, QUORIN_TOOL, &actions, nullptr, argv.data(), environ));
  posix_spawn_file_actions_destroy(&actions);
  // Watch the bar until it reaches the mark (or the run ends first), then interrupt; the
  // terminal is read all along so that the tool never waits on it.
  int  status = 0;
  bool ended  = false;
  errors.clear();
  while (!(ended = ::waitpid(pid, &status, WNOHANG) == pid) && lastPercent(errors) < interruptAt)
  {
    drain(master, errors);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  seconds = -1.0;
  if (!ended)
  {
    const auto signalled = std::chrono::steady_clock::now();
    ::kill(pid, SIGINT);
    while (::waitpid(pid, &status, WNOHANG) != pid)
    {
      drain(master, errors);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
  }
  drain(master, errors);
  ::close(master);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

TEST(Exchange_AtomicFile, CtrlCStopsAVtkXmlConversionAtOnceAndLeavesNoFile)
{
  // 360,000 triangles. Reading takes the bar to 70 %, writing the rest: the signal comes
  // when the bar shows 85 %, half way through the encoding, however loaded the machine.
  const std::string input = testmesh::TempPath("ctrl-c-input.stl");
  ASSERT_EQ(ExportStatus_Ok, algoMesh_STL::Write(testmesh::Sphere(1.0, 600, 300), input.c_str(),
                                                 ActAPI_ProgressEntry(), true));
  for (const char* extension : {".vtp", ".vtu"})
  {
    // A conversion that stops late is run again, twice at most: other processes can stall
    // one run, while a loop that does not poll is late every time.
    double latency = 0.0;
    for (int attempt = 0; attempt < 3; ++attempt)
    {
      const std::string folder = freshFolder("ctrl-c");
      const std::string output = folder + "/out" + extension;
      std::string       errors;
      EXPECT_EQ(130, convert(input, output, 85.0, errors, latency)) << extension << ": " << errors;
      ASSERT_GE(latency, 0.0) << extension << ": the run ended before its bar showed 85 %";
      EXPECT_NE(std::string::npos, errors.find("interrupted")) << errors;
      EXPECT_TRUE(filesIn(folder).empty()) << extension;
      if (latency < testmesh::CancelBound())
      {
        break;
      }
    }
    EXPECT_LT(latency, testmesh::CancelBound())
        << extension << ": stopped " << latency << " s after Ctrl-C";
  }
}
#endif
