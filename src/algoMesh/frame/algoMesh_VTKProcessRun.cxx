// A VTK pipeline run in a forked child, stopped by killing the child; see the header.
#include <algoMesh_VTKProcessRun.pxx>

#include <algoMesh_VTKProgress.pxx>

#include <vtkCallbackCommand.h>
#include <vtkCellArray.h>
#include <vtkCommand.h>
#include <vtkDataArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkTypeInt64Array.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#define algoMesh_HAS_CHILD_RUN 1
#endif

namespace quorin
{

namespace
{

#if defined(algoMesh_HAS_CHILD_RUN)

static_assert(std::atomic<double>::is_always_lock_free,
              "the child's progress is shared through a lock-free atomic");

// What the child sends ahead of its arrays.
struct OutputHeader
{
  int64_t magic;
  int64_t pointType; // VTK_FLOAT or VTK_DOUBLE
  int64_t nbPoints;
  int64_t nbOffsets;
  int64_t nbConnectivity;
};

constexpr int64_t THE_MAGIC = 0x71756f72696e5631; // identifies a complete header

// The parent looks at the child's progress and at the host's cancellation this often.
constexpr int THE_POLL_MS = 2;

// Bytes read from the pipe at once.
constexpr size_t THE_CHUNK = size_t(1) << 20;

// One stage as the child's progress observer sees it.
struct ChildStage
{
  std::atomic<double>* shared;
  double               from;
  double               share;
};

void onChildProgress(vtkObject*, unsigned long, void* clientData, void* callData)
{
  const ChildStage* stage = static_cast<const ChildStage*>(clientData);
  if (callData == nullptr)
  {
    return;
  }
  const double fraction = std::min(1.0, std::max(0.0, *static_cast<double*>(callData)));
  const double position = stage->from + stage->share * fraction;
  double       current  = stage->shared->load(std::memory_order_relaxed);
  while (position > current &&
         !stage->shared->compare_exchange_weak(current, position, std::memory_order_relaxed))
  {
  }
}

bool writeAll(const int fd, const void* data, size_t size)
{
  const char* bytes = static_cast<const char*>(data);
  while (size > 0)
  {
    const ssize_t written = ::write(fd, bytes, size);
    if (written < 0 && errno == EINTR)
    {
      continue;
    }
    if (written <= 0)
    {
      return false;
    }
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// Sends the points and polygons of `polyData` as a header and three raw arrays.
bool sendOutput(const int fd, vtkPolyData* polyData)
{
  if (polyData == nullptr)
  {
    return false;
  }
  OutputHeader  header{THE_MAGIC, VTK_DOUBLE, 0, 0, 0};
  vtkPoints*    points = polyData->GetPoints();
  vtkCellArray* polys  = polyData->GetPolys();
  if (points != nullptr)
  {
    header.pointType = points->GetDataType();
    header.nbPoints  = points->GetNumberOfPoints();
  }
  if (header.pointType != VTK_FLOAT && header.pointType != VTK_DOUBLE)
  {
    return false;
  }
  if (polys != nullptr)
  {
    polys->ConvertTo64BitStorage();
    header.nbOffsets      = polys->GetOffsetsArray64()->GetNumberOfValues();
    header.nbConnectivity = polys->GetConnectivityArray64()->GetNumberOfValues();
  }
  const size_t pointBytes =
      static_cast<size_t>(header.nbPoints) * 3 * (header.pointType == VTK_FLOAT ? 4 : 8);
  return writeAll(fd, &header, sizeof(header)) &&
         (pointBytes == 0 || writeAll(fd, points->GetData()->GetVoidPointer(0), pointBytes)) &&
         (header.nbOffsets == 0 ||
          writeAll(fd, polys->GetOffsetsArray64()->GetPointer(0),
                   static_cast<size_t>(header.nbOffsets) * sizeof(int64_t))) &&
         (header.nbConnectivity == 0 ||
          writeAll(fd, polys->GetConnectivityArray64()->GetPointer(0),
                   static_cast<size_t>(header.nbConnectivity) * sizeof(int64_t)));
}

// The child's whole life: run the pipeline, send its output, leave without running the
// parent's exit handlers or flushing its buffers.
[[noreturn]] void runChild(const int                                            fd,
                           const pid_t                                          parent,
                           const std::vector<std::pair<vtkAlgorithm*, double>>& stages,
                           vtkAlgorithm*                                        last,
                           std::atomic<double>*                                 shared)
{
  // A parent that dies takes the child with it.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent)
  {
    ::_exit(3);
  }
  int status = 4;
  try
  {
    std::vector<ChildStage> observed;
    observed.reserve(stages.size());
    double from = 0.0;
    for (const auto& [filter, share] : stages)
    {
      observed.push_back({shared, from, share});
      vtkNew<vtkCallbackCommand> callback;
      callback->SetCallback(&onChildProgress);
      callback->SetClientData(&observed.back());
      filter->AddObserver(vtkCommand::ProgressEvent, callback);
      from += share;
    }
    last->Update();
    status = sendOutput(fd, vtkPolyData::SafeDownCast(last->GetOutputDataObject(0))) ? 0 : 2;
  }
  catch (...)
  {
    status = 4;
  }
  ::_exit(status);
}

// Rebuilds the poly data the child sent; false when the bytes do not add up.
bool receiveOutput(const std::vector<char>& bytes, vtkSmartPointer<vtkPolyData>& output)
{
  OutputHeader header;
  if (bytes.size() < sizeof(header))
  {
    return false;
  }
  std::memcpy(&header, bytes.data(), sizeof(header));
  const size_t rest = bytes.size() - sizeof(header);
  if (header.magic != THE_MAGIC ||
      (header.pointType != VTK_FLOAT && header.pointType != VTK_DOUBLE) || header.nbPoints < 0 ||
      header.nbOffsets < 0 || header.nbConnectivity < 0 ||
      static_cast<uint64_t>(header.nbPoints) > rest / 12 ||
      static_cast<uint64_t>(header.nbOffsets) > rest / 8 ||
      static_cast<uint64_t>(header.nbConnectivity) > rest / 8)
  {
    return false;
  }
  const size_t pointBytes =
      static_cast<size_t>(header.nbPoints) * 3 * (header.pointType == VTK_FLOAT ? 4 : 8);
  const size_t offsetBytes = static_cast<size_t>(header.nbOffsets) * sizeof(int64_t);
  const size_t connBytes   = static_cast<size_t>(header.nbConnectivity) * sizeof(int64_t);
  if (pointBytes + offsetBytes + connBytes != rest)
  {
    return false;
  }
  const char* cursor = bytes.data() + sizeof(header);

  vtkNew<vtkPoints> points;
  points->SetDataType(static_cast<int>(header.pointType));
  points->SetNumberOfPoints(header.nbPoints);
  if (pointBytes > 0)
  {
    std::memcpy(points->GetData()->GetVoidPointer(0), cursor, pointBytes);
  }
  cursor += pointBytes;

  vtkNew<vtkTypeInt64Array> offsets;
  vtkNew<vtkTypeInt64Array> connectivity;
  offsets->SetNumberOfValues(header.nbOffsets);
  connectivity->SetNumberOfValues(header.nbConnectivity);
  if (offsetBytes > 0)
  {
    std::memcpy(offsets->GetPointer(0), cursor, offsetBytes);
  }
  cursor += offsetBytes;
  if (connBytes > 0)
  {
    std::memcpy(connectivity->GetPointer(0), cursor, connBytes);
  }
  vtkNew<vtkCellArray> polys;
  if (header.nbOffsets > 0)
  {
    polys->SetData(offsets, connectivity);
  }

  output = vtkSmartPointer<vtkPolyData>::New();
  output->SetPoints(points);
  output->SetPolys(polys);
  return true;
}

void reapChild(const pid_t child, int* status)
{
  while (::waitpid(child, status, 0) < 0 && errno == EINTR)
  {
  }
}

#endif

} // namespace

algoMesh_VTKProcessRun::Status algoMesh_VTKProcessRun::Update(vtkAlgorithm*                 last,
                                                              vtkSmartPointer<vtkPolyData>& output)
{
#if defined(algoMesh_HAS_CHILD_RUN)
  // 1. Nobody can ask to stop: no reason for a child.
  if (m_scope.HostEntry().Access().IsNull())
  {
    return updateHere(last, output);
  }
  if (m_scope.IsCancelled())
  {
    return Status_Cancelled;
  }

  // 2. The shared progress page and the output pipe; without them, or without a child, the
  //    pipeline runs here.
  void* page = ::mmap(nullptr, sizeof(std::atomic<double>), PROT_READ | PROT_WRITE,
                      MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (page == MAP_FAILED)
  {
    return updateHere(last, output);
  }
  std::atomic<double>* shared = new (page) std::atomic<double>(0.0);
  int                  fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0)
  {
    ::munmap(page, sizeof(std::atomic<double>));
    return updateHere(last, output);
  }
  const pid_t parent = ::getpid();
  const pid_t child  = ::fork();
  if (child == 0)
  {
    ::close(fds[0]);
    runChild(fds[1], parent, m_stages, last, shared);
  }
  ::close(fds[1]);
  if (child < 0)
  {
    ::close(fds[0]);
    ::munmap(page, sizeof(std::atomic<double>));
    return updateHere(last, output);
  }

  // 3. Collect the output while passing on the child's progress; a cancellation kills it.
  std::vector<char> bytes;
  bool              isCancelled = false;
  bool              isBroken    = false;
  for (;;)
  {
    pollfd    readable{fds[0], POLLIN, 0};
    const int ready = ::poll(&readable, 1, THE_POLL_MS);
    m_scope.SetFraction(shared->load(std::memory_order_relaxed));
    if (m_scope.IsCancelled())
    {
      ::kill(child, SIGKILL);
      isCancelled = true;
      break;
    }
    if (ready <= 0)
    {
      isBroken = ready < 0 && errno != EINTR;
      if (isBroken)
      {
        ::kill(child, SIGKILL);
        break;
      }
      continue;
    }
    const size_t size = bytes.size();
    bytes.resize(size + THE_CHUNK);
    const ssize_t got = ::read(fds[0], bytes.data() + size, THE_CHUNK);
    bytes.resize(size + static_cast<size_t>(std::max<ssize_t>(got, 0)));
    if (got == 0)
    {
      break;
    }
    if (got < 0 && errno != EINTR && errno != EAGAIN)
    {
      ::kill(child, SIGKILL);
      isBroken = true;
      break;
    }
  }
  int status = 0;
  reapChild(child, &status);
  ::close(fds[0]);
  ::munmap(page, sizeof(std::atomic<double>));

  // 4. The output, when the child finished well and sent all of it.
  if (isCancelled)
  {
    return Status_Cancelled;
  }
  if (isBroken || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || !receiveOutput(bytes, output))
  {
    return Status_Failed;
  }
  m_scope.Complete();
  return Status_Done;
#else
  return updateHere(last, output);
#endif
}

algoMesh_VTKProcessRun::Status
algoMesh_VTKProcessRun::updateHere(vtkAlgorithm* last, vtkSmartPointer<vtkPolyData>& output)
{
  // Each stage takes its share when it starts, and stops at its own next abort check.
  for (const auto& [filter, share] : m_stages)
  {
    if (!algoMesh_VTKProgress(filter, m_scope.Next(share)).Update())
    {
      return Status_Cancelled;
    }
  }
  last->Update();
  output = vtkSmartPointer<vtkPolyData>::New();
  output->ShallowCopy(vtkPolyData::SafeDownCast(last->GetOutputDataObject(0)));
  return Status_Done;
}

} // namespace quorin
