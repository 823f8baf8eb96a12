// Integer packet codecs on hand-built byte streams: each codec's bit layout, the nested
// packets, the predictors, and packets whose counts lie about their content.
#include <JtDecode_Int32CDP.hxx>
#include <JtDecode_TopoMesh.hxx>
#include <JtDecode_VertexStrips.hxx>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace
{

typedef JtDecode_Int32CDP CDP;

//! Little-endian packet bytes.
struct Bytes
{
  std::vector<uint8_t> Data;

  Bytes& U8(const int v)
  {
    Data.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  Bytes& I32(const int64_t v)
  {
    for (int k = 0; k < 4; ++k)
      Data.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * k)));
    return *this;
  }
  Bytes& Append(const Bytes& other)
  {
    Data.insert(Data.end(), other.Data.begin(), other.Data.end());
    return *this;
  }
};

//! Bit string written most significant bit first, as 32-bit words or as bytes.
struct Bits
{
  std::vector<int> Values;

  Bits& Put(const uint32_t value, const int n)
  {
    for (int i = n - 1; i >= 0; --i)
      Values.push_back((value >> i) & 1u);
    return *this;
  }
  int Count() const { return static_cast<int>(Values.size()); }

  //! Appends the words of the code text (each as a little-endian U32).
  void Words(Bytes& out) const
  {
    for (int w = 0; w < (Count() + 31) / 32; ++w)
    {
      uint32_t word = 0;
      for (int b = 0; b < 32; ++b)
      {
        const int i = w * 32 + b;
        word        = word << 1 | (i < Count() ? Values[i] : 0);
      }
      out.I32(word);
    }
  }
  //! Appends the bits packed into whole bytes.
  void Packed(Bytes& out) const
  {
    for (int i = 0; i < Count(); i += 8)
    {
      int byte = 0;
      for (int b = 0; b < 8; ++b)
        byte = byte << 1 | (i + b < Count() ? Values[i + b] : 0);
      out.U8(byte);
    }
  }
};

bool decodeV8(const Bytes&          bytes,
              std::vector<int32_t>& values,
              const size_t          limit     = 1000,
              const CDP::Predictor  predictor = CDP::Predictor_Null)
{
  JtData_Reader reader(bytes.Data.data(), bytes.Data.size(), false);
  return CDP::ReadV8(reader, predictor, limit, values);
}

bool decodeV2(const Bytes&          bytes,
              const int             major,
              std::vector<int32_t>& values,
              const size_t          limit = 1000)
{
  JtData_Reader reader(bytes.Data.data(), bytes.Data.size(), false);
  return CDP::ReadV2(reader, major, CDP::Predictor_Null, limit, values) &&
         reader.Position() == bytes.Data.size();
}

//! A version 9 null-codec packet (byte count, then the values).
Bytes nullV9(const std::vector<int32_t>& values)
{
  Bytes out;
  out.I32(values.size()).U8(0).I32(4 * values.size());
  for (const int32_t v : values)
    out.I32(v);
  return out;
}

} // namespace

TEST(JtDecode_Int32CDP, V8NullAndBitlength)
{
  std::vector<int32_t> values;
  Bytes                plain;
  plain.U8(0).I32(3).I32(7).I32(-1).I32(42);
  ASSERT_TRUE(decodeV8(plain, values));
  EXPECT_EQ(values, (std::vector<int32_t>{7, -1, 42}));

  // 0, 3, -2, 5: width grows 0 → 4 once, then stays.
  Bits code;
  code.Put(0, 1);
  code.Put(0b1110, 4).Put(3, 4);
  code.Put(0, 1).Put(0b1110, 4);
  code.Put(0, 1).Put(5, 4);
  Bytes packet;
  packet.U8(1).I32(code.Count()).I32(4).I32((code.Count() + 31) / 32);
  code.Words(packet);
  ASSERT_TRUE(decodeV8(packet, values));
  EXPECT_EQ(values, (std::vector<int32_t>{0, 3, -2, 5}));

  // The same code text claiming another value count is rejected.
  Bytes lying;
  lying.U8(1).I32(code.Count()).I32(5).I32(1);
  code.Words(lying);
  EXPECT_FALSE(decodeV8(lying, values));
}

TEST(JtDecode_Int32CDP, V8HuffmanWithOutOfBandValues)
{
  // Entries A (value 12, 3 occurrences), B (value 15, 1) and the escape (1): the heap gives
  // A the code "0", B "11" and the escape "10".
  Bits table;
  table.Put(3, 32).Put(2, 6).Put(2, 6).Put(4, 6).Put(0, 6).Put(10, 32);
  table.Put(2, 2).Put(3, 2).Put(2, 4); // A
  table.Put(3, 2).Put(1, 2).Put(5, 4); // B
  table.Put(0, 2).Put(1, 2).Put(0, 4); // escape
  Bits code;
  code.Put(0, 1).Put(0, 1).Put(0b11, 2).Put(0b10, 2).Put(0, 1);
  Bytes packet;
  packet.U8(2).U8(1);
  table.Packed(packet);
  packet.I32(1).U8(0).I32(1).I32(-99); // one out-of-band value, null codec
  packet.I32(code.Count()).I32(5).I32(1);
  code.Words(packet);
  std::vector<int32_t> values;
  ASSERT_TRUE(decodeV8(packet, values));
  EXPECT_EQ(values, (std::vector<int32_t>{12, 12, 15, -99, 12}));
}

TEST(JtDecode_Int32CDP, ArithmeticSingleSymbolAndEscapeShortcut)
{
  // One entry owning the whole range: every symbol is that value and no bit is consumed.
  Bits table;
  table.Put(1, 16).Put(2, 6).Put(4, 6).Put(8, 6).Put(0, 32);
  table.Put(2, 2).Put(9, 4).Put(77, 8);
  Bytes single;
  single.I32(6).U8(3).I32(0);
  table.Packed(single);
  single.I32(0); // no out-of-band values
  std::vector<int32_t> values;
  ASSERT_TRUE(decodeV2(single, 9, values));
  EXPECT_EQ(values, std::vector<int32_t>(6, 77));

  // Symbols are only compared with the escape code, so a 32-bit symbol field holding the
  // smallest integer is an ordinary symbol (its "- 2" must not overflow).
  Bits wide;
  wide.Put(1, 16).Put(32, 6).Put(4, 6).Put(8, 6).Put(0, 32);
  wide.Put(0x80000000u, 32).Put(9, 4).Put(5, 8);
  Bytes wideSymbol;
  wideSymbol.I32(2).U8(3).I32(0);
  wide.Packed(wideSymbol);
  wideSymbol.I32(0);
  ASSERT_TRUE(decodeV2(wideSymbol, 9, values));
  EXPECT_EQ(values, std::vector<int32_t>(2, 5));

  // Version 10: an escape-only table with empty code text takes the out-of-band list whole.
  Bits escape;
  escape.Put(1, 16).Put(4, 6).Put(1, 7).Put(0, 32).Put(1, 1).Put(5, 4).Put(0, 1);
  Bytes shortcut;
  shortcut.I32(3).U8(3).I32(0);
  escape.Packed(shortcut);
  shortcut.I32(3).U8(0).I32(96).I32(4).I32(5).I32(6);
  ASSERT_TRUE(decodeV2(shortcut, 10, values));
  EXPECT_EQ(values, (std::vector<int32_t>{4, 5, 6}));
}

TEST(JtDecode_Int32CDP, V2BitlengthFixedAndVariableWidth)
{
  // Version 9, fixed width: min 5, max 7 on 4 bits each, then offsets 0, 2, 1 on 2 bits.
  Bits fixed;
  fixed.Put(0, 1).Put(4, 6).Put(4, 6).Put(5, 4).Put(7, 4).Put(0, 2).Put(2, 2).Put(1, 2);
  Bytes packet;
  packet.I32(3).U8(1).I32(fixed.Count());
  fixed.Words(packet);
  std::vector<int32_t> values;
  ASSERT_TRUE(decodeV2(packet, 9, values));
  EXPECT_EQ(values, (std::vector<int32_t>{5, 7, 6}));

  // Version 9, variable width: mean 10; the width step 3 is the largest 3-bit value, so a
  // further step (0) follows; a run of two zeros, then a run of one 2.
  Bits variable;
  variable.Put(1, 1).Put(10, 32).Put(3, 3).Put(2, 3);
  variable.Put(3, 3).Put(0, 3).Put(2, 2).Put(0, 3).Put(0, 3);
  variable.Put(0, 3).Put(1, 2).Put(2, 3);
  Bytes runs;
  runs.I32(3).U8(1).I32(variable.Count());
  variable.Words(runs);
  ASSERT_TRUE(decodeV2(runs, 9, values));
  EXPECT_EQ(values, (std::vector<int32_t>{10, 10, 12}));

  // Version 10, fixed width with nibbler numbers: min -3 (0xD, one group), max 20 (two
  // groups: 4, then 1), offsets on 5 bits.
  Bits nibbled;
  nibbled.Put(0, 1).Put(0xD, 4).Put(0, 1).Put(4, 4).Put(1, 1).Put(1, 4).Put(0, 1);
  nibbled.Put(0, 5).Put(23, 5);
  Bytes v10;
  v10.I32(2).U8(1).I32(nibbled.Count());
  nibbled.Words(v10);
  ASSERT_TRUE(decodeV2(v10, 10, values));
  EXPECT_EQ(values, (std::vector<int32_t>{-3, 20}));

  // A run longer than the values left is corrupt.
  Bits overlong;
  overlong.Put(1, 1).Put(0, 32).Put(3, 3).Put(3, 3).Put(1, 3).Put(7, 3);
  Bytes bad;
  bad.I32(3).U8(1).I32(overlong.Count());
  overlong.Words(bad);
  EXPECT_FALSE(decodeV2(bad, 9, values));
}

TEST(JtDecode_Int32CDP, ChopperAndMoveToFront)
{
  // Value = (low | high << (span - chop)) + bias.
  Bytes chopped;
  chopped.I32(2).U8(4).U8(4).I32(100).U8(8).Append(nullV9({1, 2})).Append(nullV9({3, 4}));
  std::vector<int32_t> values;
  ASSERT_TRUE(decodeV2(chopped, 9, values));
  EXPECT_EQ(values, (std::vector<int32_t>{119, 136}));

  // Chop 0: the nested packet is the result, but it must hold the outer value count.
  Bytes nested;
  nested.I32(2).U8(4).U8(0).Append(nullV9({8, 9}));
  ASSERT_TRUE(decodeV2(nested, 9, values));
  EXPECT_EQ(values, (std::vector<int32_t>{8, 9}));
  Bytes mismatch;
  mismatch.I32(3).U8(4).U8(0).Append(nullV9({8, 9}));
  EXPECT_FALSE(decodeV2(mismatch, 9, values));

  // Window 7, 8, 9; offsets -1 (counter 0), -1 (counter 1), 0, 2.
  Bytes window;
  window.I32(3).U8(0).I32(96).I32(7).I32(8).I32(9);
  Bytes offsets;
  offsets.I32(4).U8(0).I32(128).I32(-1).I32(-1).I32(0).I32(2);
  Bytes mtf;
  mtf.I32(4).U8(5).Append(window).Append(offsets);
  ASSERT_TRUE(decodeV2(mtf, 10, values));
  EXPECT_EQ(values, (std::vector<int32_t>{7, 8, 8, 9}));
  // Move-to-front does not exist before version 10.
  EXPECT_FALSE(decodeV2(mtf, 9, values));
}

TEST(JtDecode_Int32CDP, CountsBeyondThePacketAreRejected)
{
  std::vector<int32_t> values;
  // A value count above the caller's limit, and a word count beyond the bytes present.
  Bytes huge;
  huge.I32(2000000000).U8(1).I32(64).I32(0).I32(0);
  EXPECT_FALSE(decodeV2(huge, 9, values, 1 << 20));
  Bytes words;
  words.U8(1).I32(32).I32(1).I32(1000000);
  EXPECT_FALSE(decodeV8(words, values));
  // More valid bits than the words hold.
  Bytes bits;
  bits.U8(1).I32(64).I32(1).I32(1).I32(0);
  EXPECT_FALSE(decodeV8(bits, values));
  // Chopper packets nested without end.
  Bytes bomb;
  for (int i = 0; i < 64; ++i)
    bomb.I32(1).U8(4).U8(0);
  EXPECT_FALSE(decodeV2(bomb, 9, values));
  // A table entry count the following bytes cannot describe.
  Bytes table;
  table.U8(3).U8(1).I32(-1);
  EXPECT_FALSE(decodeV8(table, values));
  // Cut short in the middle of the code text.
  Bytes truncated;
  truncated.I32(3).U8(1).I32(96).I32(0);
  EXPECT_FALSE(decodeV2(truncated, 9, values));
}

TEST(JtDecode_Int32CDP, Predictors)
{
  std::vector<int32_t> lag1 = {1, 2, 3, 4, 1, 1, -2};
  CDP::UnPredict(CDP::Predictor_Lag1, lag1);
  EXPECT_EQ(lag1, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 4}));

  std::vector<int32_t> stride = {0, 3, 6, 9, 0, 0, 1};
  CDP::UnPredict(CDP::Predictor_Stride1, stride);
  EXPECT_EQ(stride, (std::vector<int32_t>{0, 3, 6, 9, 12, 15, 19}));

  // Strip indices: small strides continue, large ones restart two past the second last.
  std::vector<int32_t> strip = {0, 1, 2, 3, 0, 0, 0};
  CDP::UnPredict(CDP::Predictor_StripIndex, strip);
  EXPECT_EQ(strip, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6}));
  std::vector<int32_t> jump = {0, 100, 20, 200, 0, 0};
  CDP::UnPredict(CDP::Predictor_StripIndex, jump);
  EXPECT_EQ(jump, (std::vector<int32_t>{0, 100, 20, 200, 22, 202}));

  std::vector<int32_t> wrap = {0, 0, 0, INT32_MAX, 1};
  CDP::UnPredict(CDP::Predictor_Lag1, wrap);
  EXPECT_EQ(wrap[4], INT32_MIN);
}

TEST(JtDecode_TopoMesh, SextantOctantNormalsAreUnitWithOctantSigns)
{
  for (int sextant = 0; sextant < 6; ++sextant)
    for (int octant = 0; octant < 8; ++octant)
      for (const int theta : {0, 5, 31})
        for (const int psi : {0, 17, 31})
        {
          float n[3];
          JtDecode_TopoMesh::DecodeNormal(sextant, octant, theta, psi, 5, n);
          EXPECT_NEAR(std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]), 1.0, 1e-5);
          EXPECT_GE(n[0] * ((octant & 4) ? 1 : -1), 0.0f);
          EXPECT_GE(n[1] * ((octant & 2) ? 1 : -1), 0.0f);
          EXPECT_GE(n[2] * ((octant & 1) ? 1 : -1), 0.0f);
        }
}

TEST(JtDecode_VertexStrips, StripsAlternateWindingAndDropRepeatedPositions)
{
  // Vertices 0..3 form a quad strip; 4 repeats the position of 3 to join the next strip.
  const std::vector<float> xyz = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 1, 1, 0, 2, 1, 0};
  std::vector<int32_t>     triangles;
  ASSERT_TRUE(JtDecode_VertexStrips::StripsToTriangles({0, 6}, {0, 1, 2, 3, 4, 5}, xyz, triangles));
  // (2, 3, 4) and (4, 3, 5) have corners 3 and 4 at one position.
  EXPECT_EQ(triangles, (std::vector<int32_t>{0, 1, 2, 2, 1, 3}));
  // A boundary beyond the strip vertices is corrupt.
  EXPECT_FALSE(
      JtDecode_VertexStrips::StripsToTriangles({0, 7}, {0, 1, 2, 3, 4, 5}, xyz, triangles));
}
