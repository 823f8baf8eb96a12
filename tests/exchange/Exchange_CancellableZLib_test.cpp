// The cancellable compressor of the VTK XML writers: the same bytes as VTK's own writer
// when nobody cancels, and an encoding cut short when somebody does.
#include <Exchange_CancellableZLib.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <vtkCellArray.h>
#include <vtkDataCompressor.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkXMLPolyDataWriter.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>

using namespace quorin;

namespace
{

//! A wavy n × n grid of points in two triangles per cell; a fresh one each call, since a
//! writer caches array ranges in the arrays it wrote.
vtkSmartPointer<vtkPolyData> grid(const int n)
{
  vtkNew<vtkPoints>    points;
  vtkNew<vtkCellArray> cells;
  for (int i = 0; i < n; ++i)
  {
    for (int j = 0; j < n; ++j)
    {
      points->InsertNextPoint(i, j, std::sin(0.1 * i) * std::cos(0.13 * j));
    }
  }
  for (int i = 0; i + 1 < n; ++i)
  {
    for (int j = 0; j + 1 < n; ++j)
    {
      const vtkIdType a = i * n + j, b = a + 1, c = a + n, d = c + 1;
      const vtkIdType first[3] = {a, b, d}, second[3] = {a, d, c};
      cells->InsertNextCell(3, first);
      cells->InsertNextCell(3, second);
    }
  }
  vtkSmartPointer<vtkPolyData> data = vtkSmartPointer<vtkPolyData>::New();
  data->SetPoints(points);
  data->SetPolys(cells);
  return data;
}

//! Writes `data` to a string, with the cancellable compressor when `progress` has a
//! notifier; answers the text and the seconds taken.
std::string write(const vtkSmartPointer<vtkPolyData>& data,
                  const ActAPI_ProgressEntry*         progress,
                  double&                             seconds)
{
  vtkNew<vtkXMLPolyDataWriter> writer;
  writer->SetWriteToOutputString(1);
  writer->SetInputData(data);
  if (progress != nullptr)
  {
    writer->SetCompressor(
        vtkSmartPointer<vtkDataCompressor>::Take(Exchange_CancellableZLib::New(*progress)));
  }
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(1, writer->Write());
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return writer->GetOutputString();
}

} // namespace

TEST(Exchange_CancellableZLib, WritesWhatVtkWritesUntilCancelled)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  const ActAPI_ProgressEntry progress(notifier);
  double                     seconds = 0.0;
  const std::string          plain   = write(grid(300), nullptr, seconds);
  const std::string          ours    = write(grid(300), &progress, seconds);
  EXPECT_EQ(plain, ours);
  EXPECT_NE(std::string::npos, ours.find("compressor=\"vtkZLibDataCompressor\""));
}

TEST(Exchange_CancellableZLib, CancellationCutsTheEncodingShort)
{
  // Half a million triangles: about 11 MB of compressed data, hundreds of blocks.
  double            full = 0.0, cut = 0.0;
  const std::string whole = write(grid(500), nullptr, full);

  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  notifier->CancelAfterPolls(3);
  const ActAPI_ProgressEntry progress(notifier);
  const std::string          partial = write(grid(500), &progress, cut);
  EXPECT_LT(partial.size(), whole.size() / 20);
  EXPECT_LT(cut, full / 3) << "cancelled " << cut << " s, whole " << full << " s";
}
