// Malformed files through every reader, as a user's pipeline meets them: mutants of small
// valid files (truncations, byte flips, huge counts, bad indices, non-finite and
// overflowing numbers, another format's content, very long lines, a byte-order mark) must
// each end in a correct read or in false with one clear message, within a time bound
// proportional to the file's size, and the tool must report them in one line.
#include <MeshBuilders.hxx>

#include <Exchange_InputCheck.hxx>
#include <algoMesh_CADReader.hxx>
#include <algoMesh_JT.hxx>
#include <algoMesh_MSH.hxx>
#include <algoMesh_NAS.hxx>
#include <algoMesh_OBJ.hxx>
#include <algoMesh_PLY.hxx>
#include <algoMesh_STL.hxx>
#include <algoMesh_VTK_XML.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepTools.hxx>
#include <BRep_Tool.hxx>
#include <Interface_Static.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <MorvDS_MeshNodesIterator.hxx>
#include <STEPControl_Writer.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

#include <vtkObject.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <sstream>

#include <sys/stat.h>
#include <sys/wait.h>

using namespace quorin;

namespace
{

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const double THE_SLOWDOWN = 8.0;
#else
const double THE_SLOWDOWN = 1.0;
#endif

//! Seconds a reader may take on `bytes` of input: generous for a loaded machine, but far
//! below what a quadratic path or a loop over a lying count takes.
double timeBound(const size_t bytes)
{
  return THE_SLOWDOWN * (10.0 + 4.0 * static_cast<double>(bytes) / 1e6);
}

std::string readBytes(const std::string& path)
{
  std::ifstream      in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeBytes(const std::string& path, const std::string& bytes)
{
  std::ofstream(path, std::ios::binary) << bytes;
}

//! What a reader answered.
struct Outcome
{
  bool                     isRead = false;
  std::vector<std::string> errors;
  std::vector<std::string> warnings;
  bool                     isValid = true; //!< every coordinate finite and in range
  int                      nbItems = 0;    //!< triangles, elements or faces read
  double                   seconds = 0.0;
};

bool validPoint(const gp_Pnt& p)
{
  return Exchange_InputCheck::IsValidCoordinate(p.X()) &&
         Exchange_InputCheck::IsValidCoordinate(p.Y()) &&
         Exchange_InputCheck::IsValidCoordinate(p.Z());
}

void checkTriangulation(const Handle(Poly_Triangulation) & mesh, Outcome& outcome)
{
  if (mesh.IsNull())
  {
    outcome.isValid = false;
    return;
  }
  for (int k = 1; k <= mesh->NbNodes(); ++k)
  {
    outcome.isValid = outcome.isValid && validPoint(mesh->Node(k));
  }
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int a, b, c;
    mesh->Triangle(t).Get(a, b, c);
    // A placeholder triangle of zeros stands for a file without faces.
    const bool isPlaceholder = a == 0 && b == 0 && c == 0;
    outcome.isValid =
        outcome.isValid && (isPlaceholder || (a >= 1 && b >= 1 && c >= 1 && a <= mesh->NbNodes() &&
                                              b <= mesh->NbNodes() && c <= mesh->NbNodes()));
  }
  outcome.nbItems = mesh->NbTriangles();
}

void checkModel(const Handle(MorvDS_Mesh) & mesh, Outcome& outcome)
{
  if (mesh.IsNull())
  {
    outcome.isValid = false;
    return;
  }
  for (MorvDS_MeshNodesIterator it(mesh); it.More(); it.Next())
  {
    outcome.isValid = outcome.isValid && validPoint(it.Value()->Pnt());
  }
  outcome.nbItems = mesh->NbElements();
}

void checkShape(const TopoDS_Shape& shape, Outcome& outcome)
{
  for (TopExp_Explorer it(shape, TopAbs_VERTEX); it.More(); it.Next())
  {
    outcome.isValid = outcome.isValid && validPoint(BRep_Tool::Pnt(TopoDS::Vertex(it.Current())));
  }
  for (TopExp_Explorer it(shape, TopAbs_FACE); it.More(); it.Next())
  {
    ++outcome.nbItems;
  }
}

//! Reads `path` with the library reader of `format`.
Outcome readWith(const std::string& format, const std::string& path)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  const ActAPI_ProgressEntry progress(notifier);
  Outcome                    outcome;
  const auto                 start = std::chrono::steady_clock::now();
  if (format == "stl" || format == "ply" || format == "obj")
  {
    Handle(Poly_Triangulation) mesh;
    outcome.isRead = format == "stl"   ? algoMesh_STL::Read(path.c_str(), mesh, progress)
                     : format == "ply" ? algoMesh_PLY::Read(path.c_str(), mesh, progress)
                                       : algoMesh_OBJ(progress).Read(path, mesh);
    if (outcome.isRead)
    {
      checkTriangulation(mesh, outcome);
    }
  }
  else if (format == "nas" || format == "msh" || format == "vtp" || format == "vtu")
  {
    Handle(MorvDS_Mesh) mesh;
    NCollection_Vector<Handle(algoMesh_FieldFrame)> frames;
    NCollection_Vector<Handle(algoMesh_Field)>      fields;
    outcome.isRead =
        format == "nas" ? algoMesh_NAS::Read(path.c_str(), mesh, progress)
        : format == "msh"
            ? algoMesh_MSH::Read(path.c_str(), mesh, frames, Standard_GUID(), notifier)
        : format == "vtp"
            ? algoMesh_VTK_XML::ReadVTP(path.c_str(), mesh, fields, Standard_GUID(), progress)
            : algoMesh_VTK_XML::ReadVTU(path.c_str(), mesh, fields, Standard_GUID(), progress);
    if (outcome.isRead)
    {
      checkModel(mesh, outcome);
    }
  }
  else if (format == "jt")
  {
    Handle(algoMesh_JT) reader = new algoMesh_JT();
    reader->SetDocument(new TDocStd_Document(""));
    outcome.isRead = reader->Perform(path.c_str(), Message_ProgressRange());
    if (outcome.isRead)
    {
      checkShape(reader->SingleShape(), outcome);
    }
    else if (!reader->ErrorMessage().empty())
    {
      outcome.errors.push_back(reader->ErrorMessage());
    }
  }
  else
  {
    TopoDS_Shape shape;
    outcome.isRead = format == "brep" ? algoMesh_CADReader::ReadBRep(path, shape, progress)
                                      : algoMesh_CADReader::ReadSTEP(path, shape, progress);
    if (outcome.isRead)
    {
      checkShape(shape, outcome);
    }
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (const ActAPI_LogMessage& message : notifier->Messages())
  {
    if (message.Severity == LogSeverity_Error)
    {
      outcome.errors.push_back(message.Formatted().ToCString());
    }
    else if (message.Severity == LogSeverity_Warning)
    {
      outcome.warnings.push_back(message.Formatted().ToCString());
    }
  }
  return outcome;
}

//! A message in our words: one line, no exception class or third-party source names.
void expectClearMessage(const std::string& text, const std::string& label)
{
  EXPECT_EQ(std::string::npos, text.find('\n')) << label << ": " << text;
  for (const char* raw : {"Standard_", "NCollection_", "vtkXML", "ERR|", "std::", "what()"})
  {
    EXPECT_EQ(std::string::npos, text.find(raw)) << label << ": " << text;
  }
}

//! Checks the outcome of one mutant: a correct read or false with one clear message.
void expectCleanOutcome(const Outcome& outcome, const size_t bytes, const std::string& label)
{
  EXPECT_LT(outcome.seconds, timeBound(bytes)) << label;
  if (outcome.isRead)
  {
    EXPECT_TRUE(outcome.isValid) << label << ": read with invalid coordinates or indices";
    return;
  }
  ASSERT_FALSE(outcome.errors.empty()) << label << ": refused without a message";
  for (const std::string& error : outcome.errors)
  {
    expectClearMessage(error, label);
  }
}

//! A small valid file of one format.
struct Fixture
{
  std::string Format; //!< reader key and extension
  std::string Bytes;
  bool        IsText = true;
};

std::string boxBRep()
{
  std::ostringstream text;
  BRepTools::Write(BRepPrimAPI_MakeBox(1.0, 2.0, 3.0).Shape(), text);
  return text.str();
}

std::string boxSTEP()
{
  static const bool quiet = (Message::DefaultMessenger()->ChangePrinters().Clear(), true);
  (void)quiet;
  STEPControl_Writer writer;
  writer.Transfer(BRepPrimAPI_MakeBox(1.0, 2.0, 3.0).Shape(), STEPControl_AsIs);
  const std::string path = testmesh::TempPath("box-source.step");
  writer.Write(path.c_str());
  return readBytes(path);
}

std::vector<Fixture> fixtures()
{
  return {
      {"stl", "solid t\n facet normal 0 0 1\n  outer loop\n   vertex 0 0 0\n   vertex 1 0 0\n"
              "   vertex 0 1 0\n  endloop\n endfacet\n facet normal 0 0 1\n  outer loop\n"
              "   vertex 1 0 0\n   vertex 1 1 0\n   vertex 0 1 0\n  endloop\n endfacet\n"
              "endsolid t\n"},
      {"stl", readBytes(testmesh::DataFile("stl/cgal_sphere.stl")), false},
      {"ply", readBytes(testmesh::DataFile("ply/cube.ply"))},
      {"ply", readBytes(testmesh::DataFile("ply/cube_binary.ply")), false},
      {"obj", readBytes(testmesh::DataFile("obj/box.obj"))},
      {"nas", readBytes(testmesh::DataFile("nas/freecad_GRIDSTAR_CQUAD4_large.bdf"))},
      {"msh", readBytes(testmesh::DataFile("msh/hex_transfinite.msh"))},
      {"vtu", readBytes(testmesh::DataFile("vtk/linear_cells_ascii.vtu"))},
      {"vtu", readBytes(testmesh::DataFile("vtk/linear_cells_appended_zlib.vtu")), false},
      {"brep", boxBRep()},
      {"step", boxSTEP()},
      {"jt", readBytes(testmesh::DataFile("jt/butterflyvalve_v8.0.jt")), false},
  };
}

//! Start offsets of the whitespace-separated words of `text` made of `accept` characters.
std::vector<size_t> wordsOf(const std::string&                             text,
                            const std::function<bool(const std::string&)>& accept)
{
  std::vector<size_t> starts;
  size_t              k = 0;
  while (k < text.size())
  {
    while (k < text.size() && std::strchr(" \t\r\n\"'=<>", text[k]) != nullptr)
    {
      ++k;
    }
    const size_t start = k;
    while (k < text.size() && std::strchr(" \t\r\n\"'=<>", text[k]) == nullptr)
    {
      ++k;
    }
    if (k > start && accept(text.substr(start, k - start)))
    {
      starts.push_back(start);
    }
  }
  return starts;
}

bool isInteger(const std::string& word)
{
  return word.find_first_not_of("0123456789") == std::string::npos;
}

bool isReal(const std::string& word)
{
  return word.find('.') != std::string::npos &&
         word.find_first_not_of("0123456789.eE+-") == std::string::npos &&
         word.find_first_of("0123456789") != std::string::npos;
}

//! Replaces the word at `start` by `by`.
std::string replaceWord(const std::string& text, const size_t start, const std::string& by)
{
  size_t end = start;
  while (end < text.size() && std::strchr(" \t\r\n\"'=<>", text[end]) == nullptr)
  {
    ++end;
  }
  return text.substr(0, start) + by + text.substr(end);
}

//! The mutants of one fixture, each with a label.
std::vector<std::pair<std::string, std::string>> mutantsOf(const Fixture&     fixture,
                                                           const std::string& otherFormat)
{
  std::vector<std::pair<std::string, std::string>> mutants;
  const std::string&                               bytes = fixture.Bytes;

  // Truncations, including inside the header and one byte short.
  for (const double share : {0.05, 0.3, 0.5, 0.9})
  {
    mutants.emplace_back("truncated at " + std::to_string(share),
                         bytes.substr(0, static_cast<size_t>(share * bytes.size())));
  }
  mutants.emplace_back("one byte short", bytes.substr(0, bytes.size() - 1));

  // Byte flips, reproducibly.
  std::mt19937 random(12345);
  for (int m = 0; m < 12; ++m)
  {
    std::string flipped = bytes;
    for (int f = 0; f <= m % 4; ++f)
    {
      flipped[random() % flipped.size()] ^= static_cast<char>(1 << (random() % 8));
    }
    mutants.emplace_back("byte flip " + std::to_string(m), flipped);
  }

  // Huge counts and bad indices in place of integers, at the start (counts) and further on
  // (indices).
  const std::vector<size_t> integers = wordsOf(bytes, isInteger);
  for (size_t pick = 0; pick < integers.size(); pick += std::max<size_t>(1, integers.size() / 8))
  {
    for (const char* by : {"2147483647", "4294967296", "-7", "99999999999999999999"})
    {
      mutants.emplace_back(std::string("integer ") + std::to_string(pick) + " as " + by,
                           replaceWord(bytes, integers[pick], by));
    }
  }

  // Non-finite and overflowing coordinates.
  const std::vector<size_t> reals = wordsOf(bytes, isReal);
  for (size_t pick = 0; pick < reals.size(); pick += std::max<size_t>(1, reals.size() / 4))
  {
    for (const char* by : {"nan", "-inf", "1e400", "-1e308", "1e39", "0x1p+2000", "Infinity"})
    {
      mutants.emplace_back(std::string("real ") + std::to_string(pick) + " as " + by,
                           replaceWord(bytes, reals[pick], by));
    }
  }

  // Another format's content under this extension.
  mutants.emplace_back("content of " + otherFormat, otherFormat);

  // Very long lines: a 2 MB word after the first line, and a 2 MB line of numbers.
  const size_t firstLine = std::min(bytes.find('\n'), bytes.size());
  mutants.emplace_back("long word", bytes.substr(0, firstLine + 1) + std::string(2000000, 'a') +
                                        "\n" + bytes.substr(std::min(firstLine + 1, bytes.size())));
  std::string numbers;
  for (int k = 0; k < 400000; ++k)
  {
    numbers += "1.5 ";
  }
  mutants.emplace_back("long line of numbers",
                       bytes.substr(0, firstLine + 1) + numbers + "\n" +
                           bytes.substr(std::min(firstLine + 1, bytes.size())));
  mutants.emplace_back("empty", std::string());
  if (!fixture.IsText)
  {
    return mutants;
  }

  // Other encodings and line ends: CRLF, UTF-16 with its byte-order mark, and Latin-1
  // bytes that are no UTF-8.
  std::string crlf, utf16 = "\xFF\xFE";
  for (const char c : bytes)
  {
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    utf16 += std::string(1, c) + '\0';
  }
  mutants.emplace_back("CRLF line ends", crlf);
  mutants.emplace_back("UTF-16", utf16);
  mutants.emplace_back("Latin-1 bytes", bytes.substr(0, firstLine + 1) + "\xE9\xE8\xFC\xB0\n" +
                                            bytes.substr(std::min(firstLine + 1, bytes.size())));

  // Extremely long tokens where numbers belong: 3 MB of digits, and a 3 MB run of signs.
  if (!reals.empty())
  {
    mutants.emplace_back("3 MB number",
                         replaceWord(bytes, reals.front(), std::string(3000000, '9') + ".5"));
    mutants.emplace_back("3 MB of signs",
                         replaceWord(bytes, reals.front(), std::string(3000000, '-')));
  }

  // Deeply nested markup after the first line, NUL bytes, and the file twice over.
  std::string nested;
  for (int k = 0; k < 100000; ++k)
  {
    nested += "<a>";
  }
  mutants.emplace_back("deeply nested markup",
                       bytes.substr(0, firstLine + 1) + nested + "\n" +
                           bytes.substr(std::min(firstLine + 1, bytes.size())));
  mutants.emplace_back("NUL bytes", bytes.substr(0, bytes.size() / 2) + std::string(1000, '\0') +
                                        bytes.substr(bytes.size() / 2));
  mutants.emplace_back("twice over", bytes + bytes);
  return mutants;
}

//! The kind of a reader's answer: "read", or the first words of its refusal without
//! numbers and quoted names ("The file declares an impossible", "VTK could not read the"),
//! which tell which check or parser refused.
std::string kindOfAnswer(const Outcome& outcome)
{
  if (outcome.isRead || outcome.errors.empty())
  {
    return outcome.isRead ? "read" : "refused without a message";
  }
  std::istringstream words(outcome.errors.front());
  std::string        kind, word;
  for (int k = 0; k < 5 && words >> word; ++k)
  {
    if (word.find_first_of("0123456789'\"") == std::string::npos)
    {
      kind += word + " ";
    }
  }
  return kind;
}

#ifdef QUORIN_TOOL
//! Runs the tool; answers its exit code (128 + signal when killed) and its error output.
int runTool(const std::string& arguments, std::string& errors, double& seconds)
{
  const std::string errorFile = testmesh::TempPath("tool-errors.txt");
  const std::string command =
      std::string("\"") + QUORIN_TOOL + "\" " + arguments + " >/dev/null 2>\"" + errorFile + "\"";
  const auto start  = std::chrono::steady_clock::now();
  const int  status = std::system(command.c_str());
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  errors  = readBytes(errorFile);
  if (WIFSIGNALED(status))
  {
    return 128 + WTERMSIG(status);
  }
  return WEXITSTATUS(status);
}

//! Runs the tool's info command on a mutant: it reads the file or refuses it with one line
//! naming the file, in our words, within the time bound.
void expectCleanToolReport(const std::string& path, const size_t bytes, const std::string& label)
{
  std::string errors;
  double      seconds = 0.0;
  const int   code    = runTool("info \"" + path + "\"", errors, seconds);
  EXPECT_TRUE(code == 0 || code == 1) << label << ": exit " << code << " " << errors;
  EXPECT_LT(seconds, 2.0 + timeBound(bytes)) << label;
  if (code == 1)
  {
    ASSERT_FALSE(errors.empty()) << label;
    EXPECT_EQ(errors.size() - 1, errors.find('\n')) << label << ": " << errors;
    EXPECT_NE(std::string::npos, errors.find(path)) << label << ": " << errors;
    expectClearMessage(errors.substr(0, errors.size() - 1), label);
  }
}

#endif

} // namespace

TEST(MalformedInput, EveryMutantIsReadCorrectlyOrRefusedWithOneClearMessage)
{
  // The tool also runs on the first mutant of each kind of answer per format: every check
  // and parser that refuses takes the tool's report path, without a process per mutant
  // (each costs a tenth of a second of loading libraries).
  const std::vector<Fixture> all = fixtures();
  std::set<std::string>      answers;
  for (size_t f = 0; f < all.size(); ++f)
  {
    const Fixture&    fixture = all[f];
    const std::string path    = testmesh::TempPath("mutant." + fixture.Format);
    const Outcome     valid   = (writeBytes(path, fixture.Bytes), readWith(fixture.Format, path));
    ASSERT_TRUE(valid.isRead) << fixture.Format << " fixture " << f;
    const std::string& other = all[(f + 1) % all.size()].Bytes;
    for (const auto& mutant : mutantsOf(fixture, other))
    {
      writeBytes(path, mutant.second);
      const std::string label =
          fixture.Format + " fixture " + std::to_string(f) + ", " + mutant.first;
      const Outcome outcome = readWith(fixture.Format, path);
      expectCleanOutcome(outcome, mutant.second.size(), label);
#ifdef QUORIN_TOOL
      if (answers.insert(fixture.Format + ": " + kindOfAnswer(outcome)).second)
      {
        expectCleanToolReport(path, mutant.second.size(), label);
      }
#endif
    }
  }
}

TEST(MalformedInput, ByteOrderMarkIsSkippedInEveryTextFormat)
{
  for (const Fixture& fixture : fixtures())
  {
    if (!fixture.IsText)
    {
      continue;
    }
    const std::string path = testmesh::TempPath("plain." + fixture.Format);
    const std::string boms = testmesh::TempPath("marked." + fixture.Format);
    writeBytes(path, fixture.Bytes);
    writeBytes(boms, "\xEF\xBB\xBF" + fixture.Bytes);
    const Outcome plain  = readWith(fixture.Format, path);
    const Outcome marked = readWith(fixture.Format, boms);
    ASSERT_TRUE(plain.isRead) << fixture.Format;
    EXPECT_TRUE(marked.isRead) << fixture.Format << ": "
                               << (marked.errors.empty() ? "" : marked.errors.front());
    EXPECT_EQ(plain.nbItems, marked.nbItems) << fixture.Format;
  }
}

TEST(MalformedInput, InvalidCoordinatesAreRefusedNamingTheirLineOrRecord)
{
  // Each file carries one bad number on a known line (or record).
  const struct
  {
    const char* Format;
    std::string Text;
    const char* Where;
  } cases[] = {
      {"obj", "v 0 0 0\nv 1 0 0\nv 0 1e400 0\nf 1 2 3\n", "Line 3"},
      {"obj", "v 0 0 0\nv nan 0 0\nv 0 1 0\nf 1 2 3\n", "Line 2"},
      // Hexadecimal floats, which strtod-based parsers read and from_chars stops inside.
      {"obj", "v 0 0 0\nv 1 0 0\nv 0 0x1.8p+2000 0\nf 1 2 3\n", "Line 3"},
      {"stl",
       "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 0x1p+2000 0 0\nvertex 0 1 "
       "0\nendloop\nendfacet\nendsolid t\n",
       "line 5"},
      {"stl",
       "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex -1e308 0 0\nvertex 0 1 "
       "0\nendloop\nendfacet\nendsolid t\n",
       "line 5"},
      {"ply",
       "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty "
       "float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n1 0 "
       "inf\n0 1 0\n3 0 1 2\n",
       "Vertex 1"},
      {"msh",
       "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n3\n1 0 0 0\n2 1 0 0\n3 0 1e39 0\n"
       "$EndNodes\n$Elements\n1\n1 2 2 0 1 1 2 3\n$EndElements\n",
       "Line 8"},
      {"nas",
       "BEGIN BULK\nGRID    1               0.      0.      0.\nGRID    2               1.e+39  0. "
       "     0.\nENDDATA\n",
       "Line 3"},
      // An infinity or a NaN as some runtimes print them, of which strtod and sscanf read
      // the 1: last on a line (or in an array), nothing else fails after it.
      {"stl",
       "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 "
       "1.#INF\nendloop\nendfacet\nendsolid t\n",
       "line 6"},
      {"obj", "v 0 0 0\nv 1 0 0\nv 0 1 -1.#IND\nf 1 2 3\n", "Line 3"},
      {"msh",
       "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n3\n1 0 0 0\n2 1 0 0\n3 0 1 1.#QNAN\n"
       "$EndNodes\n$Elements\n1\n1 2 2 0 1 1 2 3\n$EndElements\n",
       "Line 8"},
      {"vtu",
       "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"0.1\">\n"
       "<UnstructuredGrid><Piece NumberOfPoints=\"3\" NumberOfCells=\"1\"><Points><DataArray "
       "type=\"Float64\" NumberOfComponents=\"3\" format=\"ascii\">0 0 0 1 0 0 0 1 "
       "1.#INF</DataArray></Points><Cells><DataArray type=\"Int64\" Name=\"connectivity\" "
       "format=\"ascii\">0 1 2</DataArray><DataArray type=\"Int64\" Name=\"offsets\" "
       "format=\"ascii\">3</DataArray><DataArray type=\"UInt8\" Name=\"types\" "
       "format=\"ascii\">5</DataArray></Cells></Piece></UnstructuredGrid></VTKFile>\n",
       "1.#INF"},
  };
  for (const auto& c : cases)
  {
    const std::string path = testmesh::TempPath(std::string("bad.") + c.Format);
    writeBytes(path, c.Text);
    const Outcome outcome = readWith(c.Format, path);
    EXPECT_FALSE(outcome.isRead) << c.Format;
    ASSERT_EQ(1u, outcome.errors.size()) << c.Format;
    EXPECT_NE(std::string::npos, outcome.errors.front().find(c.Where))
        << c.Format << ": " << outcome.errors.front();
  }
}

TEST(MalformedInput, ObjVertexWithoutThreeNumbersIsRefusedNotReadAsZeros)
{
  // The kernel's reader took a word that is no number as 0 and dropped an empty vertex line,
  // which moved every later face onto the wrong vertices.
  for (const char* vertex : {"v - 1 0", "v 1 0", "v", "v 1 0 0x", "v abc 1 0"})
  {
    const std::string path = testmesh::TempPath("bad-vertex.obj");
    writeBytes(path, std::string("v 0 0 0\n") + vertex + "\nv 0 1 0\nv 1 1 0\nf 1 2 3\nf 2 4 3\n");
    const Outcome outcome = readWith("obj", path);
    EXPECT_FALSE(outcome.isRead) << vertex;
    ASSERT_EQ(1u, outcome.errors.size()) << vertex;
    EXPECT_EQ("Line 2: a vertex needs three numbers.", outcome.errors.front()) << vertex;
  }
  // Hexadecimal coordinates, a fourth (weight) number and tabs read as before.
  const std::string path = testmesh::TempPath("good-vertex.obj");
  writeBytes(path, "v 0 0 0\nv 0x1p0 0 0 1\nv\t0\t1\t0\nf 1 2 3\n");
  const Outcome outcome = readWith("obj", path);
  EXPECT_TRUE(outcome.isRead) << (outcome.errors.empty() ? "" : outcome.errors.front());
  EXPECT_EQ(1, outcome.nbItems);
}

TEST(MalformedInput, LongPolygonsAndAttributesAreReadInLinearTime)
{
  // 100,000 corners: ear clipping (quadratic) would take minutes, the kernel's OBJ reader
  // would overrun its polygon buffer.
  const int   n = 100000;
  std::string obj, ply, plyFace;
  for (int k = 0; k < n; ++k)
  {
    const double angle = 2.0 * M_PI * k / n;
    obj += "v " + std::to_string(std::cos(angle)) + " " + std::to_string(std::sin(angle)) + " 0\n";
    ply += std::to_string(std::cos(angle)) + " " + std::to_string(std::sin(angle)) + " 0\n";
    plyFace += " " + std::to_string(k);
  }
  obj += "f";
  for (int k = 1; k <= n; ++k)
  {
    obj += " " + std::to_string(k);
  }
  obj += "\n";
  ply = "ply\nformat ascii 1.0\nelement vertex " + std::to_string(n) +
        "\nproperty float x\nproperty float y\nproperty float z\nelement face 1\nproperty list "
        "int int vertex_indices\nend_header\n" +
        ply + std::to_string(n) + plyFace + "\n";
  for (const auto& file :
       {std::make_pair(std::string("obj"), obj), std::make_pair(std::string("ply"), ply)})
  {
    const std::string path = testmesh::TempPath("long-polygon." + file.first);
    writeBytes(path, file.second);
    const Outcome outcome = readWith(file.first, path);
    ASSERT_TRUE(outcome.isRead) << file.first;
    EXPECT_EQ(n - 2, outcome.nbItems) << file.first;
    EXPECT_LT(outcome.seconds, timeBound(file.second.size())) << file.first;
  }

  // Long XML tokens, which VTK's parser starts again with every block it reads: each is
  // refused at once rather than parsed in quadratic time (4 MB took 3-7 s, 10 MB 27-40 s).
  // Values holding '>' must not end the scan of their token early. Long character data
  // inside an element is passed on in pieces and is read.
  const std::string base    = readBytes(testmesh::DataFile("vtk/linear_cells_ascii.vtu"));
  const size_t      prolog  = base.find('\n') + 1;
  const size_t      inRoot  = base.find('>', base.find("<VTKFile")) + 1;
  const std::string angular = []
  {
    std::string text;
    for (int k = 0; k < 4000; ++k)
    {
      text += std::string(999, 'x') + ">";
    }
    return text;
  }();
  const struct
  {
    size_t      At;
    std::string Inserted;
    const char* Message;
  } tokens[] = {
      {inRoot - 1, " note=\"" + std::string(10000000, 'x') + "\"",
       "The file has an XML tag longer than 1 MB."},
      {inRoot - 1, " note=\"" + angular + "\"", "The file has an XML tag longer than 1 MB."},
      {inRoot, "<!-- " + angular + " -->", "The file has an XML comment longer than 1 MB."},
      {prolog, "<?note " + angular + " ?>",
       "The file has an XML processing instruction longer than 1 MB."},
      {inRoot, "&" + std::string(4000000, 'a') + ";",
       "The file has an XML reference longer than 1 MB."},
      {prolog, std::string(4000000, 'a'),
       "The file has XML text outside its elements longer than 1 MB."},
      {inRoot, std::string(4000000, ' '), nullptr},
      // Many small arrays in one section, which VTK looks up by name in quadratic time
      // (20,000 took a minute), followed by 4 MB of blanks that no check may scan once per
      // array.
      {base.find("<PointData>") + 11,
       []
       {
         std::string arrays;
         for (int k = 0; k < 20000; ++k)
         {
           arrays += "<DataArray type=\"Float64\" Name=\"f" + std::to_string(k) +
                     "\" NumberOfTuples=\"0\" format=\"ascii\"></DataArray>";
         }
         return arrays + std::string(4000000, ' ');
       }(),
       "The file has more than 1000 data arrays in one PointData section."},
  };
  for (const auto& token : tokens)
  {
    std::string vtu = base;
    vtu.insert(token.At, token.Inserted);
    const std::string path = testmesh::TempPath("long-token.vtu");
    writeBytes(path, vtu);
    const Outcome outcome = readWith("vtu", path);
    EXPECT_LT(outcome.seconds, timeBound(vtu.size()));
    if (token.Message == nullptr)
    {
      EXPECT_TRUE(outcome.isRead);
      continue;
    }
    EXPECT_FALSE(outcome.isRead) << token.Message;
    ASSERT_EQ(1u, outcome.errors.size()) << token.Message;
    EXPECT_EQ(token.Message, outcome.errors.front());
  }
}

TEST(MalformedInput, DeeplyNestedXmlIsRefusedOrReadQuickly)
{
  // A million nested elements inside the root: a recursive parser would run out of stack.
  std::string  vtu  = readBytes(testmesh::DataFile("vtk/linear_cells_ascii.vtu"));
  const size_t root = vtu.find('>', vtu.find("<VTKFile")) + 1;
  std::string  open, close;
  for (int k = 0; k < 1000000; ++k)
  {
    open += "<a>";
    close += "</a>";
  }
  vtu.insert(root, open + close);
  const std::string path = testmesh::TempPath("nested.vtu");
  writeBytes(path, vtu);
  expectCleanOutcome(readWith("vtu", path), vtu.size(), "nested VTU");
}

TEST(MalformedInput, HugeBRepCountsAreRefusedBeforeTheKernelLoops)
{
  const std::string text = boxBRep();
  for (const char* section : {"Locations", "Curves", "Surfaces", "TShapes", "Curve2ds"})
  {
    const size_t at = text.find(std::string("\n") + section + " ");
    ASSERT_NE(std::string::npos, at) << section;
    const size_t      end     = text.find('\n', at + 1);
    const std::string mutated = text.substr(0, at + 1) + section + " 2147483648" + text.substr(end);
    const std::string path    = testmesh::TempPath("huge.brep");
    writeBytes(path, mutated);
    const Outcome outcome = readWith("brep", path);
    EXPECT_FALSE(outcome.isRead) << section;
    ASSERT_EQ(1u, outcome.errors.size()) << section;
    EXPECT_NE(std::string::npos, outcome.errors.front().find(section)) << outcome.errors.front();
    EXPECT_LT(outcome.seconds, timeBound(mutated.size()));
  }
}

TEST(MalformedInput, UndefinedStepReferenceIsAFailedReadNotACrash)
{
  // The box with one point entity removed: the curves and vertices naming it dangle.
  std::string  text  = boxSTEP();
  const size_t point = text.find("CARTESIAN_POINT('',(1.");
  ASSERT_NE(std::string::npos, point);
  const size_t start = text.rfind('\n', point) + 1;
  text.erase(start, text.find('\n', point) + 1 - start);
  const std::string path = testmesh::TempPath("dangling.step");
  writeBytes(path, text);
  const Outcome outcome = readWith("step", path);
  if (!outcome.isRead)
  {
    ASSERT_FALSE(outcome.errors.empty());
    expectClearMessage(outcome.errors.front(), "dangling STEP");
  }
}

TEST(MalformedInput, StepBSplineWithWildKnotSpansIsRefusedBeforeShapeRepair)
{
  // Two faces whose shared edge has one knot span of 2^31 beside spans of about 1: the
  // kernel's shape repair of that edge would run for hours (22 s with a span of 1e6).
  const std::string path    = testmesh::DataFile("step/regressions/wild_knot_spans.step");
  const Outcome     outcome = readWith("step", path);
  EXPECT_FALSE(outcome.isRead);
  ASSERT_EQ(1u, outcome.errors.size());
  EXPECT_EQ("The STEP file is malformed: the B-spline #24 has knot spans more than 100000 "
            "times apart.",
            outcome.errors.front());
  EXPECT_LT(outcome.seconds, timeBound(std::filesystem::file_size(path)));

  // The same faces with the file's own knots read as before.
  std::string  text  = readBytes(path);
  const size_t first = text.find("(-2147483648.,");
  ASSERT_NE(std::string::npos, first);
  text.replace(first, 14, "(-9.753048731913,");
  const std::string repaired = testmesh::TempPath("two-faces.step");
  writeBytes(repaired, text);
  const Outcome valid = readWith("step", repaired);
  EXPECT_TRUE(valid.isRead) << (valid.errors.empty() ? "" : valid.errors.front());
  EXPECT_EQ(2, valid.nbItems);
}

TEST(MalformedInput, MaterialLibraryThatIsNotARegularFileIsLeftOut)
{
  // A library naming an endless device would never finish; it is skipped with a warning.
  const std::string path = testmesh::TempPath("endless.obj");
  writeBytes(path, "mtllib ../../../../../../../../dev/zero\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  const Outcome outcome = readWith("obj", path);
  EXPECT_TRUE(outcome.isRead);
  EXPECT_EQ(1, outcome.nbItems);
  EXPECT_LT(outcome.seconds, timeBound(100));
}

TEST(MalformedInput, RepeatedWarningsOfOneKindAreCappedPerFile)
{
  // One warning per bad line would bury the terminal: the first few, then one count.
  const std::string triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
  std::string       obj;
  for (int i = 0; i < 2000; ++i)
  {
    obj += "mtllib missing" + std::to_string(i) + ".mtl\n";
  }
  std::string ply = "ply\nformat ascii 1.0\n";
  for (int i = 0; i < 1000; ++i)
  {
    ply += "made by a converter\n";
  }
  ply += "element vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
         "element face 1\nproperty list uchar int vertex_indices\nend_header\n"
         "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";
  // Element 1 given 20 times: every second line removes the element the line before made.
  std::string msh = "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n3\n1 0 0 0\n2 1 0 0\n"
                    "3 0 1 0\n$EndNodes\n$Elements\n20\n";
  for (int i = 0; i < 20; ++i)
  {
    msh += "1 2 0 1 2 3\n";
  }
  msh += "$EndElements\n";
  const struct
  {
    const char* format;
    std::string text;
    const char* first;
    const char* last;
  } cases[] = {{"obj", obj + triangle,
                "Line 1: material library 'missing0.mtl' not read: no such file.",
                "1995 more material libraries not read."},
               {"ply", ply, "Ignored the unknown header line 'made by a converter'.",
                "Ignored 995 more unknown header lines."},
               {"msh", msh, "Skipped element with index 1 due to duplication.",
                "Skipped 5 more elements due to duplicated indices."}};
  for (const auto& c : cases)
  {
    const std::string path = testmesh::TempPath(std::string("repeated.") + c.format);
    writeBytes(path, c.text);
    const Outcome outcome = readWith(c.format, path);
    EXPECT_TRUE(outcome.isRead) << c.format;
    ASSERT_EQ(6u, outcome.warnings.size()) << c.format;
    EXPECT_EQ(c.first, outcome.warnings.front());
    EXPECT_EQ(c.last, outcome.warnings.back());
  }
}

TEST(MalformedInput, RegressionFilesAreReadCorrectlyOrRefusedQuickly)
{
  // Every defect found so far (a hang of the kernel's BREP reader on a control character,
  // a negative appended-data offset, block headers of the wrong width, ...) keeps its file.
  int nbFiles = 0;
  for (const auto& folder : std::filesystem::directory_iterator(testmesh::DataFile("")))
  {
    const std::filesystem::path regressions = folder.path() / "regressions";
    if (!std::filesystem::is_directory(regressions))
    {
      continue;
    }
    for (const auto& file : std::filesystem::directory_iterator(regressions))
    {
      const std::string path   = file.path().string();
      const std::string format = file.path().extension().string().substr(1);
      expectCleanOutcome(readWith(format, path), std::filesystem::file_size(path), path);
      ++nbFiles;
    }
  }
  EXPECT_GE(nbFiles, 3);
}

TEST(MalformedInput, VtkXmlThatDecodesLessThanItDeclaresIsRefused)
{
  // The tool turns VTK's messages off; VTK then reports no decoding error to anyone, and
  // these files read as empty meshes unless the reader sees the errors and the counts.
  vtkObject::GlobalWarningDisplayOff();
  const std::pair<const char*, const char*> cases[] = {
      {"wrong-compressor.vtu",
       "its data are damaged or not LZMA data, as its compressor attribute says"},
      {"unknown-compressor.vtu", "The file names an unknown compressor 'vtkNoSuchCompressor'."},
      {"poly-data-root-over-grid.vtu",
       "VTK decoded 33 points and 0 cells of the 33 and 8 the file declares."}};
  for (const auto& [name, reason] : cases)
  {
    const std::string path    = testmesh::DataFile(std::string("vtk/regressions/") + name);
    const Outcome     outcome = readWith(name[0] == 'p' ? "vtp" : "vtu", path);
    EXPECT_FALSE(outcome.isRead) << name;
    ASSERT_EQ(1u, outcome.errors.size()) << name;
    EXPECT_NE(std::string::npos, outcome.errors.front().find(reason)) << outcome.errors.front();
  }
  vtkObject::GlobalWarningDisplayOn();
}

TEST(MalformedInput, MshCutAtALineEndOrMiscountedIsRefused)
{
  // Cut at a line end inside a section, the file would read as a smaller mesh; the line
  // named is the section's end.
  const std::string text     = readBytes(testmesh::DataFile("msh/hex_transfinite.msh"));
  const size_t      elements = text.find("$Elements\n");
  const size_t      count    = elements + 10;
  const size_t      firstEnd = text.find('\n', text.find('\n', count) + 1);
  const struct
  {
    std::string Text;
    const char* Message;
  } cases[] = {
      {text.substr(0, text.find('\n', elements + 2000) + 1),
       "The MSH file ends inside its $Elements section."},
      {text.substr(0, text.find("$EndNodes")), "The MSH file ends inside its $Nodes section."},
      {text.substr(0, count) + "99999999" + text.substr(text.find('\n', count)),
       "Line 1032 of the MSH file: the $Elements section declares 99999999 elements but holds "
       "648."},
      {text.substr(0, firstEnd) + text.substr(text.find('\n', firstEnd + 1)),
       "Line 1031 of the MSH file: the $Elements section declares 648 elements but holds 647."},
  };
  for (const auto& c : cases)
  {
    const std::string path = testmesh::TempPath("cut.msh");
    writeBytes(path, c.Text);
    const Outcome outcome = readWith("msh", path);
    EXPECT_FALSE(outcome.isRead) << c.Message;
    ASSERT_EQ(1u, outcome.errors.size()) << c.Message;
    EXPECT_EQ(c.Message, outcome.errors.front());
  }
}

TEST(MalformedInput, CompressedFilesAreNamedAsSuch)
{
  // Compressed files under a mesh format's extension, which would read as damaged content.
  const char* const formats[]  = {"stl", "ply", "obj", "nas", "msh", "vtu", "brep", "step"};
  const char* const headers[]  = {"\x1F\x8B\x08\x00", "\xFD\x37\x7A\x58\x5A\x00", "BZh91AY&SY",
                                  "\x28\xB5\x2F\xFD", "PK\x03\x04"};
  const size_t      lengths[]  = {4, 6, 10, 4, 4};
  const char* const programs[] = {"gzip", "xz", "bzip2", "zstd", "zip"};
  for (size_t f = 0; f < std::size(formats); ++f)
  {
    const size_t      h    = f % std::size(headers);
    const std::string path = testmesh::TempPath(std::string("packed.") + formats[f]);
    writeBytes(path, std::string(headers[h], lengths[h]) + std::string(300, '\x9C'));
    const Outcome outcome = readWith(formats[f], path);
    EXPECT_FALSE(outcome.isRead) << formats[f];
    ASSERT_EQ(1u, outcome.errors.size()) << formats[f];
    EXPECT_NE(std::string::npos, outcome.errors.front().find(std::string("compressed with ") +
                                                             programs[h] + "; decompress it first"))
        << outcome.errors.front();
  }
}

TEST(MalformedInput, Utf16TextIsNamedAsSuch)
{
  // Read byte by byte, UTF-16 text looks like damaged content (a binary STL "declaring"
  // 3,145,776 facets, a NAS deck without cards); it is named instead, in both byte orders,
  // with and without a byte-order mark.
  const auto wide = [](const std::string& text, const bool isBig, const bool hasMark)
  {
    std::string out = hasMark ? (isBig ? "\xFE\xFF" : "\xFF\xFE") : "";
    for (const char c : text)
    {
      out += isBig ? std::string(1, '\0') + c : std::string(1, c) + '\0';
    }
    return out;
  };
  const char* const formats[] = {"stl", "ply", "obj", "nas", "msh", "vtu", "brep", "step"};
  const std::string text = "solid part\n  facet normal 0 0 1\n    outer loop\n      vertex 0 0 0\n";
  for (size_t f = 0; f < std::size(formats); ++f)
  {
    const std::string path = testmesh::TempPath(std::string("wide.") + formats[f]);
    writeBytes(path, wide(text, f % 2 == 0, f % 3 != 0));
    const Outcome outcome = readWith(formats[f], path);
    EXPECT_FALSE(outcome.isRead) << formats[f];
    ASSERT_EQ(1u, outcome.errors.size()) << formats[f];
    EXPECT_NE(std::string::npos,
              outcome.errors.front().find("it is UTF-16 text; save it as UTF-8 or ASCII first"))
        << outcome.errors.front();
  }
  // A binary STL may hold wide text in its free header: its size fitting its facet count
  // tells it apart.
  std::string stl = wide(std::string(40, 'x'), false, false);
  stl += std::string("\x01\0\0\0", 4) + std::string(50, '\0');
  const std::string path = testmesh::TempPath("wide-header.stl");
  writeBytes(path, stl);
  const Outcome outcome = readWith("stl", path);
  EXPECT_TRUE(outcome.errors.empty() || outcome.errors.front().find("UTF-16") == std::string::npos)
      << outcome.errors.front();
}

TEST(MalformedInput, MissingAndNonRegularFilesAreRefused)
{
  // A FIFO would block a reader that opens it until somebody writes into it; a loop of
  // symbolic links is named as such rather than as a missing file.
  const std::string folder = testmesh::TempPath("folder.stl");
  const std::string fifo   = testmesh::TempPath("fifo.stl");
  const std::string loop   = testmesh::TempPath("loop-a.stl");
  std::filesystem::create_directories(folder);
  for (const std::string& path : {fifo, loop, testmesh::TempPath("loop-b.stl")})
  {
    std::filesystem::remove(path);
  }
  ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
  std::filesystem::create_symlink("loop-b.stl", loop);
  std::filesystem::create_symlink("loop-a.stl", testmesh::TempPath("loop-b.stl"));
  for (const char* format : {"stl", "ply", "obj", "nas", "msh", "vtu", "brep", "step", "jt"})
  {
    for (const std::string& path :
         {testmesh::TempPath(std::string("missing.") + format), folder, fifo, loop})
    {
      const Outcome outcome = readWith(format, path);
      EXPECT_FALSE(outcome.isRead) << format << " " << path;
      ASSERT_FALSE(outcome.errors.empty()) << format << " " << path;
      if (path == loop && std::string(format) != "jt")
      {
        EXPECT_NE(std::string::npos, outcome.errors.front().find("a loop of symbolic links"))
            << format << ": " << outcome.errors.front();
      }
    }
  }
}

#ifdef QUORIN_TOOL
TEST(MalformedInput, TheToolReadsEveryRegressionFileOrRefusesItInOurWords)
{
  // The tool's last resort answers ("the modelling kernel failed", "an internal error")
  // mean a fault escaped the readers: no regression file may reach them.
  int nbFiles = 0;
  for (const auto& folder : std::filesystem::directory_iterator(testmesh::DataFile("")))
  {
    const std::filesystem::path regressions = folder.path() / "regressions";
    if (!std::filesystem::is_directory(regressions) || folder.path().filename() == "jt")
    {
      continue;
    }
    for (const auto& file : std::filesystem::directory_iterator(regressions))
    {
      const std::string path = file.path().string();
      std::string       errors;
      double            seconds = 0.0;
      const int         code    = runTool("info \"" + path + "\"", errors, seconds);
      EXPECT_TRUE(code == 0 || code == 1) << path << ": exit " << code << " " << errors;
      EXPECT_EQ(std::string::npos, errors.find("modelling kernel failed")) << path << errors;
      EXPECT_EQ(std::string::npos, errors.find("internal error")) << path << errors;
      if (code == 1)
      {
        // The refusal is the only line: warnings about a refused file are not printed.
        ASSERT_FALSE(errors.empty()) << path;
        EXPECT_NE(std::string::npos, errors.find(path)) << path << ": " << errors;
        expectClearMessage(errors.substr(0, errors.size() - 1), path);
      }
      ++nbFiles;
    }
  }
  EXPECT_GE(nbFiles, 10);
}

TEST(MalformedInput, TheToolRefusesPipesFoldersAndEmptyFilesAtOnce)
{
  // Opening a pipe to read would wait for a writer, and Ctrl-C with it.
  const char* const extensions[] = {"stl", "ply", "obj",  "nas",  "msh",
                                    "vtp", "vtu", "brep", "step", "jt"};
  for (size_t e = 0; e < std::size(extensions); ++e)
  {
    const std::string kind  = e % 2 == 0 ? "folder" : "empty";
    const std::string pipe  = testmesh::TempPath(std::string("tool-pipe.") + extensions[e]);
    const std::string other = testmesh::TempPath("tool-" + kind + "." + extensions[e]);
    std::filesystem::remove_all(pipe);
    std::filesystem::remove_all(other);
    ASSERT_EQ(0, ::mkfifo(pipe.c_str(), 0600));
    if (kind == "folder")
    {
      std::filesystem::create_directories(other);
    }
    else
    {
      writeBytes(other, std::string());
    }
    for (const std::string& path : {pipe, other})
    {
      std::string errors;
      double      seconds = 0.0;
      EXPECT_EQ(1, runTool("info \"" + path + "\"", errors, seconds)) << path;
      EXPECT_LT(seconds, 2.0 + timeBound(0)) << path;
      EXPECT_EQ(errors.size() - 1, errors.find('\n')) << path << ": " << errors;
      EXPECT_NE(std::string::npos, errors.find(path)) << errors;
    }
  }
}

TEST(MalformedInput, TheToolAnnouncesTheTrianglesItWrites)
{
  // A square of two triangles, one with a repeated corner and one whose corners coincide
  // with the square's: the NASTRAN writer merges coincident nodes and drops what becomes
  // degenerate, the VTK XML writers drop the triangle with a repeated node.
  const std::string input = testmesh::TempPath("degenerate.obj");
  writeBytes(input, "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 1 1 0\nf 1 2 3\nf 1 3 4\nf 1 2 2\n"
                    "f 3 5 4\n");
  const struct
  {
    const char* Extension;
    const char* Counts;
  } outputs[] = {{"nas", ": 2 triangles, 4 nodes"},
                 {"vtp", ": 3 triangles, 5 nodes"},
                 {"obj", ": 4 triangles, 5 nodes"}};
  for (const auto& output : outputs)
  {
    const std::string path = testmesh::TempPath(std::string("announced.") + output.Extension);
    const std::string command =
        std::string("\"") + QUORIN_TOOL + "\" convert \"" + input + "\" \"" + path + "\" 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(nullptr, pipe);
    std::string printed;
    char        buffer[512];
    while (std::fgets(buffer, sizeof(buffer), pipe) != nullptr)
    {
      printed += buffer;
    }
    EXPECT_EQ(0, pclose(pipe)) << printed;
    const size_t wrote = printed.find("Wrote " + path);
    ASSERT_NE(std::string::npos, wrote) << printed;
    const std::string line = printed.substr(wrote, printed.find('\n', wrote) - wrote);
    EXPECT_EQ(line.size() - std::strlen(output.Counts), line.rfind(output.Counts))
        << output.Extension << ": " << line;
  }
}

#endif
