#include <MeshBuilders.hxx>
#include <RPly_Reader.hxx>
#include <RPly_Writer.hxx>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace
{

struct Recorded
{
  std::vector<double>  values;
  std::vector<int64_t> instances, indices, lengths;
};

int record(const RPly_Argument& argument)
{
  Recorded* r = static_cast<Recorded*>(argument.UserData);
  r->values.push_back(argument.Value);
  r->instances.push_back(argument.Instance);
  r->indices.push_back(argument.Index);
  r->lengths.push_back(argument.Length);
  return 1;
}

int recordList(const RPly_Argument& argument)
{
  auto* lists = static_cast<std::vector<std::vector<double>>*>(argument.UserData);
  lists->emplace_back(argument.Values, argument.Values + argument.Length);
  return 1;
}

std::string tempPath(const std::string& name)
{
  return testmesh::TempPath(name);
}

//! Writes one element of each scalar type and a list of every type in a storage mode,
//! then reads it back and compares value by value.
void roundTrip(const RPly_Storage storage)
{
  const std::string path     = tempPath("all_types.ply");
  const RPly_Type   types[]  = {RPly_Int8,  RPly_UInt8,  RPly_Int16,   RPly_UInt16,
                                RPly_Int32, RPly_UInt32, RPly_Float32, RPly_Float64};
  const double      values[] = {-7, 200, -30000, 60000, -2000000000, 4000000000, 0.1f, 0.1};
  {
    RPly_Writer writer;
    ASSERT_TRUE(writer.Create(path, storage));
    ASSERT_TRUE(writer.AddComment("made by a test"));
    ASSERT_TRUE(writer.AddObjInfo("num_cols 1"));
    ASSERT_TRUE(writer.AddElement("thing", 2));
    for (const RPly_Type type : types)
    {
      ASSERT_TRUE(writer.AddScalarProperty("s" + std::to_string(type), type));
    }
    ASSERT_TRUE(writer.AddListProperty("list", RPly_UInt16, RPly_Float64));
    ASSERT_TRUE(writer.WriteHeader());
    for (int instance = 0; instance < 2; ++instance)
    {
      for (const double value : values)
      {
        ASSERT_TRUE(writer.Write(value));
      }
      ASSERT_TRUE(writer.Write(instance + 1)); // list length
      for (int k = 0; k <= instance; ++k)
      {
        ASSERT_TRUE(writer.Write(1.0 / 3.0 + k));
      }
    }
    EXPECT_FALSE(writer.Write(1.0)) << "more values than declared";
    ASSERT_TRUE(writer.Close());
  }
  RPly_Reader reader;
  ASSERT_TRUE(reader.Open(path));
  ASSERT_TRUE(reader.ReadHeader()) << reader.Error();
  EXPECT_EQ(storage, reader.Storage());
  ASSERT_EQ(1u, reader.Comments().size());
  EXPECT_EQ("made by a test", reader.Comments()[0]);
  ASSERT_EQ(1u, reader.ObjInfos().size());
  Recorded scalars[8], list;
  for (int t = 0; t < 8; ++t)
  {
    EXPECT_EQ(2, reader.SetReadCallback("thing", "s" + std::to_string(t), record, &scalars[t], 0));
  }
  EXPECT_EQ(2, reader.SetReadCallback("thing", "list", record, &list, 0));
  EXPECT_EQ(0, reader.SetReadCallback("thing", "missing", record, &list, 0));
  ASSERT_TRUE(reader.Read()) << reader.Error();
  for (int t = 0; t < 8; ++t)
  {
    ASSERT_EQ(2u, scalars[t].values.size());
    EXPECT_EQ(values[t], scalars[t].values[1]) << "type " << t;
  }
  // Length then entries: (1; 1/3), (2; 1/3, 4/3).
  ASSERT_EQ(5u, list.values.size());
  EXPECT_EQ((std::vector<int64_t>{-1, 0, -1, 0, 1}), list.indices);
  EXPECT_EQ((std::vector<int64_t>{0, 0, 1, 1, 1}), list.instances);
  EXPECT_EQ((std::vector<int64_t>{1, 1, 2, 2, 2}), list.lengths);
  EXPECT_EQ(1.0 / 3.0 + 1, list.values[4]);

  // A whole-list callback takes the same entries, one list per call; not on scalars.
  RPly_Reader again;
  ASSERT_TRUE(again.Open(path));
  ASSERT_TRUE(again.ReadHeader());
  std::vector<std::vector<double>> lists;
  EXPECT_EQ(0, again.SetListReadCallback("thing", "s0", recordList, &lists, 0));
  EXPECT_EQ(2, again.SetListReadCallback("thing", "list", recordList, &lists, 0));
  ASSERT_TRUE(again.Read()) << again.Error();
  EXPECT_EQ((std::vector<std::vector<double>>{{1.0 / 3.0}, {1.0 / 3.0, 1.0 / 3.0 + 1}}), lists);
}

bool readsMemory(const std::string& text,
                 std::string*       error     = nullptr,
                 const bool         wholeList = false)
{
  Recorded                         sink;
  std::vector<std::vector<double>> lists;
  RPly_Reader                      reader;
  reader.OpenMemory(text.data(), text.size());
  bool ok = reader.ReadHeader();
  if (ok)
  {
    for (const RPly_Element& element : reader.Elements())
    {
      for (const RPly_Property& property : element.Properties)
      {
        if (wholeList && property.IsList)
        {
          reader.SetListReadCallback(element.Name, property.Name, recordList, &lists, 0);
        }
        else
        {
          reader.SetReadCallback(element.Name, property.Name, record, &sink, 0);
        }
      }
    }
    ok = reader.Read();
  }
  if (error != nullptr)
  {
    *error = reader.Error();
  }
  return ok;
}

} // namespace

TEST(RPly_Reader, EveryTypeRoundTripsInAscii)
{
  roundTrip(RPly_Ascii);
}

TEST(RPly_Reader, EveryTypeRoundTripsInBinaryLittleEndian)
{
  roundTrip(RPly_BinaryLE);
}

TEST(RPly_Reader, EveryTypeRoundTripsInBinaryBigEndian)
{
  roundTrip(RPly_BinaryBE);
}

TEST(RPly_Reader, AcceptsCrLfSizedTypeNamesAndPlusSigns)
{
  const std::string text = "ply\r\nformat ascii 1.0\r\nelement v 2\r\nproperty float32 x\r\n"
                           "property list uint8 int32 idx\r\nend_header\r\n"
                           "+1.5 2 3 4\r\n-2e3 0\r\n";
  Recorded          xs, lists;
  RPly_Reader       reader;
  reader.OpenMemory(text.data(), text.size());
  ASSERT_TRUE(reader.ReadHeader()) << reader.Error();
  reader.SetReadCallback("v", "x", record, &xs, 0);
  reader.SetReadCallback("v", "idx", record, &lists, 0);
  ASSERT_TRUE(reader.Read()) << reader.Error();
  EXPECT_EQ((std::vector<double>{1.5, -2000.0}), xs.values);
  EXPECT_EQ((std::vector<double>{2, 3, 4, 0}), lists.values);
}

// Some exporters (Blender 2.4x) leave a line in the header that is neither a comment nor a
// keyword; the data after it is read as declared, and the line is reported.
TEST(RPly_Reader, StrayHeaderLineIsSkippedWithAWarning)
{
  const std::string text = "ply\nformat ascii 1.0\nwww.blender.org\nelement v 1\n"
                           "property float x\nend_header\n7\n";
  Recorded          xs;
  RPly_Reader       reader;
  reader.OpenMemory(text.data(), text.size());
  ASSERT_TRUE(reader.ReadHeader()) << reader.Error();
  EXPECT_EQ(std::vector<std::string>{"Ignored the unknown header line 'www.blender.org'."},
            reader.Warnings());
  reader.SetReadCallback("v", "x", record, &xs, 0);
  ASSERT_TRUE(reader.Read()) << reader.Error();
  EXPECT_EQ(std::vector<double>{7.0}, xs.values);
}

TEST(RPly_Reader, MalformedInputFailsWithAMessage)
{
  const std::string header  = "ply\nformat binary_little_endian 1.0\n";
  const char*       cases[] = {
            "",                                                      // empty
            "plx\nformat ascii 1.0\nend_header\n",                   // magic
            "ply\nformat ebcdic 1.0\nend_header\n",                  // format
            "ply\nproperty float x\nformat ascii 1.0\nend_header\n", // no element
            "ply\nformat ascii 1.0\nelement v -3\nend_header\n",     // negative count
            "ply\nformat ascii 1.0\nelement v 1\nproperty real x\nend_header\n1\n", // unknown type
            "ply\nformat ascii 1.0\nelement v 1\nproperty list float int i\nend_header\n1 1\n",
            "ply\nformat ascii 1.0\nelement v 1\nproperty float x\n", // no end_header
            "ply\nformat ascii 1.0\nelement v 2\nproperty float x\nend_header\n1\n",   // truncated
            "ply\nformat ascii 1.0\nelement v 1\nproperty float x\nend_header\nabc\n", // not a number
            "ply\nformat ascii 1.0\nelement f 1\nproperty list uchar int i\nend_header\n-1\n",
            "ply\nformat ascii 1.0\nelement f 1\nproperty list int int i\nend_header\n2.5 1 2\n",
  };
  for (const char* text : cases)
  {
    for (const bool wholeList : {false, true})
    {
      std::string error;
      EXPECT_FALSE(readsMemory(text, &error, wholeList)) << text;
      EXPECT_FALSE(error.empty()) << text;
    }
  }
  // A huge declared count and a huge list length meet the end of the data, quickly and
  // without allocating for the declared sizes.
  EXPECT_FALSE(readsMemory(header + "element v 9000000000000000000\nproperty float x\n"
                                    "end_header\n\x01\x02"));
  for (const bool wholeList : {false, true})
  {
    EXPECT_FALSE(readsMemory(header + "element f 1\nproperty list uint int i\nend_header\n"
                                      "\xff\xff\xff\xff\x01\x00\x00\x00",
                             nullptr, wholeList));
  }
  EXPECT_FALSE(readsMemory(header + "element v 9000000000000000000\nproperty float x\n"
                                    "property float y\nend_header\n"));
}

TEST(RPly_Reader, ElementsWithoutPropertiesOrListenersAreSkipped)
{
  // A property-less element with a huge count takes no bytes and no time.
  std::string error;
  EXPECT_TRUE(readsMemory("ply\nformat ascii 1.0\nelement nothing 9000000000000000000\n"
                          "element v 1\nproperty float x\nend_header\n1\n",
                          &error))
      << error;
  // Fixed-size binary elements without callbacks are skipped in blocks.
  const std::string text = std::string("ply\nformat binary_big_endian 1.0\nelement skip 2\n"
                                       "property double a\nelement v 1\nproperty short x\n"
                                       "end_header\n") +
                           std::string(16, '\0') + "\x01\x02";
  Recorded    xs;
  RPly_Reader reader;
  reader.OpenMemory(text.data(), text.size());
  ASSERT_TRUE(reader.ReadHeader());
  reader.SetReadCallback("v", "x", record, &xs, 0);
  ASSERT_TRUE(reader.Read()) << reader.Error();
  EXPECT_EQ(std::vector<double>{258.0}, xs.values);
}

TEST(RPly_Reader, CallbackCanStopReading)
{
  const std::string text =
      "ply\nformat ascii 1.0\nelement v 3\nproperty float x\nend_header\n1\n2\n3\n";
  RPly_Reader reader;
  reader.OpenMemory(text.data(), text.size());
  ASSERT_TRUE(reader.ReadHeader());
  int calls = 0;
  reader.SetReadCallback(
      "v", "x", [](const RPly_Argument& a) { return ++*static_cast<int*>(a.UserData) < 2 ? 1 : 0; },
      &calls, 0);
  EXPECT_FALSE(reader.Read());
  EXPECT_EQ(2, calls);
}

TEST(RPly_Reader, MissingFileFailsToOpen)
{
  RPly_Reader reader;
  EXPECT_FALSE(reader.Open("/nonexistent/dir/file.ply"));
  EXPECT_FALSE(reader.ReadHeader());
}

TEST(RPly_Writer, IncompleteBodyFailsOnClose)
{
  RPly_Writer writer;
  ASSERT_TRUE(writer.Create(tempPath("short.ply"), RPly_Ascii));
  ASSERT_TRUE(writer.AddElement("v", 2));
  ASSERT_TRUE(writer.AddScalarProperty("x", RPly_Float32));
  ASSERT_TRUE(writer.WriteHeader());
  ASSERT_TRUE(writer.Write(1.0));
  EXPECT_FALSE(writer.Close());
  EXPECT_FALSE(RPly_Writer().Create("/nonexistent/dir/file.ply", RPly_Ascii));
}

TEST(RPly_Writer, ListLengthMustFitItsType)
{
  RPly_Writer writer;
  ASSERT_TRUE(writer.Create(tempPath("list.ply"), RPly_BinaryLE));
  ASSERT_TRUE(writer.AddElement("f", 1));
  ASSERT_TRUE(writer.AddListProperty("i", RPly_UInt8, RPly_Int32));
  EXPECT_FALSE(writer.AddListProperty("j", RPly_Float32, RPly_Int32));
  ASSERT_TRUE(writer.WriteHeader());
  EXPECT_FALSE(writer.Write(300.0));
}
