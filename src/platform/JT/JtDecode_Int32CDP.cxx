// Integer packet decoders.
//
// Code text is a bit string made of 32-bit words, each read from its most significant bit;
// reads beyond the stored bit count give zeros, which the arithmetic decoder needs at the
// end of its input. Probability tables are bit-packed straight in the byte stream. The
// arithmetic decoder is a 16-bit binary range decoder with the usual underflow handling;
// the Huffman trees are rebuilt with a binary min-heap whose tie behaviour fixes the
// codes, so it is written out rather than taken from the standard library.
#include <JtDecode_Int32CDP.hxx>

#include <algorithm>
#include <map>
#include <memory>

namespace
{

//! Nested packets (out-of-band values, chopper halves, move-to-front lists) deeper than
//! this are taken as corrupt data rather than followed.
const int THE_MAX_DEPTH = 8;

//! Move-to-front work (positions moved) allowed per packet, against crafted windows.
const uint64_t THE_MAX_MTF_WORK = uint64_t(1) << 32;

int32_t signExtend(const uint32_t value, const int nbBits)
{
  if (nbBits <= 0)
    return 0;
  if (nbBits >= 32)
    return static_cast<int32_t>(value);
  const uint32_t sign = uint32_t(1) << (nbBits - 1);
  return static_cast<int32_t>((value ^ sign) - sign);
}

//! Reads bits of the code text, most significant first; zeros past the stored bit count.
class CodeText
{
public:
  bool Read(JtData_Reader& reader, const int64_t nbBits, const int64_t nbWords)
  {
    if (nbBits < 0 || nbWords < 0 || !reader.CanHold(nbWords, 4) || nbBits > nbWords * 32)
      return false;
    myWords.resize(static_cast<size_t>(nbWords));
    for (uint32_t& word : myWords)
      word = reader.U32();
    myNbBits = static_cast<uint64_t>(nbBits);
    myPos    = 0;
    return reader.Ok();
  }

  uint32_t Bit()
  {
    uint32_t bit = 0;
    if (myPos < myNbBits)
      bit = (myWords[myPos >> 5] >> (31 - (myPos & 31))) & 1u;
    ++myPos;
    return bit;
  }

  uint32_t Bits(const int n)
  {
    uint32_t value = 0;
    for (int i = 0; i < n; ++i)
      value = value << 1 | Bit();
    return value;
  }

  int32_t Signed(const int n) { return signExtend(Bits(n), n); }

  //! The variable-length number of version 10: 4-bit groups while a flag bit says more.
  int32_t Nibbler()
  {
    uint32_t value = 0;
    int      k     = 0;
    do
    {
      const uint32_t group = Bits(4);
      if (k < 8)
        value |= group << (4 * k);
      ++k;
    } while (Bit() == 1 && k <= 8);
    return signExtend(value, std::min(32, 4 * k));
  }

  uint64_t Position() const { return myPos; }
  uint64_t NbBits() const { return myNbBits; }
  bool     Overrun() const { return myPos > myNbBits; }

private:
  std::vector<uint32_t> myWords;
  uint64_t              myNbBits = 0;
  uint64_t              myPos    = 0;
};

//! Reads bit fields straight from the byte stream, each byte from its top bit.
class ByteBits
{
public:
  explicit ByteBits(JtData_Reader& reader) : myReader(reader) {}

  uint32_t Bits(const int n)
  {
    uint32_t value = 0;
    for (int i = 0; i < n; ++i)
    {
      if (myLeft == 0)
      {
        myByte = myReader.U8();
        myLeft = 8;
      }
      --myLeft;
      value = value << 1 | ((myByte >> myLeft) & 1u);
    }
    return value;
  }

  //! Bits still available in the packet's bytes.
  uint64_t Available() const { return uint64_t(myReader.Remaining()) * 8 + myLeft; }

private:
  JtData_Reader& myReader;
  uint32_t       myByte = 0;
  int            myLeft = 0;
};

struct Entry
{
  int32_t  Symbol      = 0; //!< -2 is the escape to the out-of-band list
  uint32_t Occurrences = 0;
  int32_t  Value       = 0;
  uint32_t NextContext = 0;
  uint64_t Cumulative  = 0;
  bool     IsEscape    = false;
};

struct Table
{
  std::vector<Entry> Entries;
  uint64_t           Total = 0;

  void Accumulate()
  {
    Total = 0;
    for (Entry& e : Entries)
    {
      e.Cumulative = Total;
      Total += e.Occurrences;
    }
  }
};

//! Entry count that the remaining bits can describe at `bitsPerEntry` bits each.
bool entryCountFits(const uint64_t count, const int bitsPerEntry, const ByteBits& bits)
{
  const uint64_t perEntry = static_cast<uint64_t>(std::max(bitsPerEntry, 1));
  return count <= (1u << 24) && count * perEntry <= bits.Available();
}

bool readTablesV8(JtData_Reader& reader, std::vector<Table>& tables)
{
  const int nbTables = reader.U8();
  if (!reader.Ok() || nbTables < 1 || nbTables > 16)
    return false;
  tables.assign(nbTables, Table());
  ByteBits bits(reader);
  int32_t  minValue  = 0;
  int      valueBits = 0;
  for (int t = 0; t < nbTables; ++t)
  {
    const uint32_t count      = bits.Bits(32);
    const int      symbolBits = static_cast<int>(bits.Bits(6));
    const int      occBits    = static_cast<int>(bits.Bits(6));
    int            nextBits   = 0;
    if (t == 0)
    {
      valueBits = static_cast<int>(bits.Bits(6));
      nextBits  = static_cast<int>(bits.Bits(6));
      minValue  = static_cast<int32_t>(bits.Bits(32));
    }
    else
    {
      nextBits = static_cast<int>(bits.Bits(6));
    }
    const int fieldBits = symbolBits + occBits + nextBits + (t == 0 ? valueBits : 0);
    if (!reader.Ok() || !entryCountFits(count, fieldBits, bits))
      return false;
    tables[t].Entries.resize(count);
    for (Entry& e : tables[t].Entries)
    {
      e.Symbol      = static_cast<int32_t>(bits.Bits(symbolBits) - 2u);
      e.IsEscape    = e.Symbol == -2;
      e.Occurrences = bits.Bits(occBits);
      if (t == 0)
        e.Value = static_cast<int32_t>(bits.Bits(valueBits) + static_cast<uint32_t>(minValue));
      e.NextContext = bits.Bits(nextBits);
    }
  }
  // Later tables take the value of the first table's entry with the same symbol.
  std::map<int32_t, int32_t> valueOfSymbol;
  for (const Entry& e : tables[0].Entries)
    valueOfSymbol.emplace(e.Symbol, e.Value);
  for (int t = 1; t < nbTables; ++t)
    for (Entry& e : tables[t].Entries)
    {
      const auto found = valueOfSymbol.find(e.Symbol);
      e.Value          = found != valueOfSymbol.end() ? found->second : 0;
    }
  for (Table& table : tables)
    table.Accumulate();
  return reader.Ok();
}

bool readTableV2(JtData_Reader& reader, const bool isV10, Table& table)
{
  ByteBits       bits(reader);
  const uint32_t count = bits.Bits(16);
  int            fieldBits;
  int            symbolBits = 0, occBits, valueBits;
  if (isV10)
  {
    occBits   = static_cast<int>(bits.Bits(6));
    valueBits = static_cast<int>(bits.Bits(7));
    fieldBits = 1 + occBits + valueBits;
  }
  else
  {
    symbolBits = static_cast<int>(bits.Bits(6));
    occBits    = static_cast<int>(bits.Bits(6));
    valueBits  = static_cast<int>(bits.Bits(6));
    fieldBits  = symbolBits + occBits + valueBits;
  }
  const uint32_t minValue = bits.Bits(32);
  if (!reader.Ok() || occBits > 32 || valueBits > 32 || !entryCountFits(count, fieldBits, bits))
    return false;
  table.Entries.resize(count);
  for (Entry& e : table.Entries)
  {
    if (isV10)
    {
      e.IsEscape = bits.Bits(1) == 1;
      e.Symbol   = e.IsEscape ? -2 : 0;
    }
    else
    {
      e.Symbol   = static_cast<int32_t>(bits.Bits(symbolBits) - 2u);
      e.IsEscape = e.Symbol == -2;
    }
    e.Occurrences = bits.Bits(occBits);
    e.Value       = static_cast<int32_t>(bits.Bits(valueBits) + minValue);
  }
  table.Accumulate();
  return reader.Ok();
}

//! Emits one decoded symbol, shared by the range and the Huffman decoders: an escape takes
//! the next out-of-band value (when `isEscapeEmitting`), any other entry its own value; then
//! moves to the entry's next context. False when the packet runs out of out-of-band values,
//! emits more than `valueCount` values or names a context it does not have.
bool emitSymbol(const Entry&                e,
                const bool                  isEscapeEmitting,
                const std::vector<int32_t>& outOfBand,
                const size_t                nbTables,
                const size_t                valueCount,
                size_t&                     nextOutOfBand,
                size_t&                     context,
                std::vector<int32_t>&       values)
{
  if (!e.IsEscape)
  {
    values.push_back(e.Value);
  }
  else if (isEscapeEmitting)
  {
    if (nextOutOfBand >= outOfBand.size())
      return false;
    values.push_back(outOfBand[nextOutOfBand++]);
  }
  if (values.size() > valueCount)
    return false;
  context = nbTables > 1 ? e.NextContext : 0;
  return context < nbTables;
}

//! Range decoder over the code text; `symbolCount` symbols, escapes take out-of-band
//! values. In several-context version 8 packets an escape outside context 0 emits nothing.
bool decodeArithmetic(CodeText&                   code,
                      const std::vector<Table>&   tables,
                      const std::vector<int32_t>& outOfBand,
                      const uint64_t              symbolCount,
                      const size_t                valueCount,
                      std::vector<int32_t>&       values)
{
  for (const Table& table : tables)
    if (table.Total == 0 || table.Total > 0xFFFFFFFFu)
      return false;
  uint32_t low = 0, high = 0xFFFF;
  uint32_t value   = code.Bits(16);
  size_t   context = 0, nextOutOfBand = 0;
  for (uint64_t s = 0; s < symbolCount; ++s)
  {
    const Table&   table    = tables[context];
    const uint64_t range    = uint64_t(high) - low + 1;
    const uint64_t rescaled = ((uint64_t(value) - low + 1) * table.Total - 1) / range;
    // Entries are in stored order with increasing cumulative counts: binary search.
    auto it = std::upper_bound(table.Entries.begin(), table.Entries.end(), rescaled,
                               [](const uint64_t r, const Entry& e) { return r < e.Cumulative; });
    if (it == table.Entries.begin())
      return false;
    --it;
    while (it != table.Entries.end() && it->Occurrences == 0)
      ++it;
    if (it == table.Entries.end() || rescaled >= it->Cumulative + it->Occurrences)
      return false;
    const Entry& e = *it;
    if (!emitSymbol(e, tables.size() == 1 || context == 0, outOfBand, tables.size(), valueCount,
                    nextOutOfBand, context, values))
      return false;
    const uint64_t newHigh = low + range * (e.Cumulative + e.Occurrences) / table.Total - 1;
    const uint64_t newLow  = low + range * e.Cumulative / table.Total;
    if (newHigh < newLow || newHigh > 0xFFFF)
      return false;
    high = static_cast<uint32_t>(newHigh);
    low  = static_cast<uint32_t>(newLow);
    for (;;)
    {
      if (((low ^ high) & 0x8000) == 0)
      {
        // Top bits agree: shift them out.
      }
      else if ((low & 0x4000) != 0 && (high & 0x4000) == 0)
      {
        value ^= 0x4000;
        low &= 0x3FFF;
        high |= 0x4000;
      }
      else
      {
        break;
      }
      low   = (low << 1) & 0xFFFF;
      high  = ((high << 1) | 1) & 0xFFFF;
      value = ((value << 1) & 0xFFFF) | code.Bit();
    }
  }
  return values.size() == valueCount && nextOutOfBand == outOfBand.size();
}

struct HuffmanNode
{
  uint64_t Count  = 0;
  int      Entry  = -1; //!< leaf: index of the table entry
  int      First  = -1; //!< internal: children
  int      Second = -1;
};

//! Builds the code tree of one table; answers the root index in `nodes`.
int buildHuffmanTree(const Table& table, std::vector<HuffmanNode>& nodes)
{
  std::vector<int> heap(1, -1); // 1-based
  const auto       count  = [&nodes](const int n) { return nodes[n].Count; };
  const auto       insert = [&](const int x)
  {
    heap.push_back(x);
    size_t i = heap.size() - 1;
    while (i != 1 && count(heap[i / 2]) > count(x))
    {
      heap[i] = heap[i / 2];
      i /= 2;
    }
    heap[i] = x;
  };
  const auto pop = [&]()
  {
    const int top = heap[1];
    const int y   = heap.back();
    heap.pop_back();
    const size_t size = heap.size() - 1;
    size_t       i = 1, c = 2;
    while (c <= size)
    {
      if (c < size && count(heap[c]) > count(heap[c + 1]))
        ++c;
      if (count(y) < count(heap[c]))
        break;
      heap[i] = heap[c];
      i       = c;
      c *= 2;
    }
    if (size >= 1)
      heap[i] = y;
    return top;
  };
  for (size_t k = 0; k < table.Entries.size(); ++k)
  {
    HuffmanNode leaf;
    leaf.Count = table.Entries[k].Occurrences;
    leaf.Entry = static_cast<int>(k);
    nodes.push_back(leaf);
    insert(static_cast<int>(nodes.size()) - 1);
  }
  while (heap.size() > 2)
  {
    const int   a = pop();
    const int   b = pop();
    HuffmanNode inner;
    inner.Count  = nodes[a].Count + nodes[b].Count;
    inner.First  = a;
    inner.Second = b;
    nodes.push_back(inner);
    insert(static_cast<int>(nodes.size()) - 1);
  }
  return heap.size() == 2 ? pop() : -1;
}

bool decodeHuffman(CodeText&                   code,
                   const std::vector<Table>&   tables,
                   const std::vector<int32_t>& outOfBand,
                   const size_t                valueCount,
                   std::vector<int32_t>&       values)
{
  std::vector<HuffmanNode> nodes;
  std::vector<int>         roots;
  for (const Table& table : tables)
  {
    roots.push_back(buildHuffmanTree(table, nodes));
    if (roots.back() < 0)
      return false;
  }
  // A single-leaf tree has no code bits at all: its value repeats value-count times.
  if (tables.size() == 1 && nodes[roots[0]].Entry >= 0)
  {
    const Entry& e = tables[0].Entries[nodes[roots[0]].Entry];
    if (e.IsEscape)
      return outOfBand.size() == valueCount && (values = outOfBand, true);
    values.assign(valueCount, e.Value);
    return true;
  }
  size_t context = 0, nextOutOfBand = 0;
  int    node = roots[0];
  while (code.Position() < code.NbBits())
  {
    node = code.Bit() == 1 ? nodes[node].First : nodes[node].Second;
    if (node < 0)
      return false;
    if (nodes[node].Entry < 0)
      continue;
    const Entry& e = tables[context].Entries[nodes[node].Entry];
    if (!emitSymbol(e, true, outOfBand, tables.size(), valueCount, nextOutOfBand, context, values))
      return false;
    node = roots[context];
  }
  return values.size() == valueCount;
}

bool decodeBitlengthV8(CodeText& code, const size_t valueCount, std::vector<int32_t>& values)
{
  int width = 0;
  while (code.Position() < code.NbBits())
  {
    if (code.Bit() == 1)
    {
      const uint32_t grow = code.Bit();
      do
      {
        width += grow == 1 ? 2 : -2;
        if (width < 0 || width > 32)
          return false;
      } while (code.Bit() == grow);
    }
    values.push_back(code.Signed(width));
    if (values.size() > valueCount || code.Overrun())
      return false;
  }
  return values.size() == valueCount;
}

bool decodeBitlengthV2(CodeText&             code,
                       const bool            isV10,
                       const size_t          valueCount,
                       std::vector<int32_t>& values)
{
  if (code.Bit() == 0)
  {
    // Fixed width: every value is an unsigned offset from the minimum.
    int32_t minimum;
    if (isV10)
    {
      minimum = code.Nibbler();
      code.Nibbler(); // the maximum is implied by the width
    }
    else
    {
      const int b1 = static_cast<int>(code.Bits(6));
      const int b2 = static_cast<int>(code.Bits(6));
      minimum      = code.Signed(std::min(b1, 32));
      code.Signed(std::min(b2, 32));
    }
    if (code.Overrun() || valueCount == 0)
      return valueCount == 0 && !code.Overrun();
    const uint64_t width = (code.NbBits() - code.Position()) / valueCount;
    if (width > 32)
      return false;
    for (size_t i = 0; i < valueCount; ++i)
      values.push_back(static_cast<int32_t>(code.Bits(static_cast<int>(width)) +
                                            static_cast<uint32_t>(minimum)));
    return !code.Overrun();
  }
  // Variable width: runs of values sharing one width, the width moved by escape-coded steps.
  const int32_t mean  = isV10 ? code.Nibbler() : code.Signed(32);
  const int     vb    = isV10 ? 4 : static_cast<int>(code.Bits(3));
  const int     lb    = isV10 ? 4 : static_cast<int>(code.Bits(3));
  const int32_t most  = vb > 0 ? (1 << (vb - 1)) - 1 : 0;
  int           width = 0;
  // Without run-length bits every run is empty and the loop would never end.
  if (lb == 0)
    return false;
  while (values.size() < valueCount)
  {
    int32_t step;
    do
    {
      step = code.Signed(vb);
      width += step;
      if (width < 0 || width > 32 || code.Overrun())
        return false;
    } while (vb > 0 && (step == most || step == -most - 1));
    const uint32_t run = code.Bits(lb);
    if (code.Overrun() || values.size() + run > valueCount)
      return false;
    for (uint32_t i = 0; i < run; ++i)
      values.push_back(static_cast<int32_t>(static_cast<uint32_t>(code.Signed(width)) +
                                            static_cast<uint32_t>(mean)));
    if (code.Overrun())
      return false;
  }
  return true;
}

bool readV8(JtData_Reader&        reader,
            const size_t          limit,
            const int             depth,
            std::vector<int32_t>& values)
{
  values.clear();
  if (depth > THE_MAX_DEPTH)
    return false;
  const int codec = reader.U8();
  if (!reader.Ok() || codec > 3)
    return false;
  std::vector<Table>   tables;
  std::vector<int32_t> outOfBand;
  if (codec == 2 || codec == 3)
  {
    if (!readTablesV8(reader, tables))
      return false;
    const int32_t nbOutOfBand = reader.I32();
    if (!reader.Ok() || nbOutOfBand < 0)
      return false;
    if (nbOutOfBand > 0 && !readV8(reader, limit, depth + 1, outOfBand))
      return false;
  }
  if (codec == 0)
  {
    const int32_t count = reader.I32();
    if (!reader.CanHold(count, 4) || static_cast<size_t>(count) > limit)
      return false;
    values.resize(count);
    for (int32_t& v : values)
      v = reader.I32();
    return reader.Ok();
  }
  const int32_t nbBits     = reader.I32();
  const int32_t valueCount = reader.I32();
  int64_t       nbSymbols  = valueCount;
  if (tables.size() > 1)
    nbSymbols = reader.I32();
  const int32_t nbWords = reader.I32();
  if (!reader.Ok() || valueCount < 0 || static_cast<size_t>(valueCount) > limit || nbSymbols < 0 ||
      static_cast<uint64_t>(nbSymbols) > 4 * uint64_t(limit) + 16)
    return false;
  CodeText code;
  if (!code.Read(reader, nbBits, nbWords))
    return false;
  values.reserve(std::min<size_t>(valueCount, 64 + size_t(nbWords) * 64));
  switch (codec)
  {
  case 1:
    return decodeBitlengthV8(code, valueCount, values);
  case 2:
    return decodeHuffman(code, tables, outOfBand, valueCount, values);
  default:
    return decodeArithmetic(code, tables, outOfBand, nbSymbols, valueCount, values);
  }
}

bool readV2(JtData_Reader&        reader,
            const bool            isV10,
            const size_t          limit,
            const int             depth,
            std::vector<int32_t>& values)
{
  values.clear();
  if (depth > THE_MAX_DEPTH)
    return false;
  const int32_t valueCount = reader.I32();
  if (!reader.Ok() || static_cast<int64_t>(valueCount) > static_cast<int64_t>(limit))
    return false;
  if (valueCount <= 0)
    return true;
  const int codec = reader.U8();
  if (!reader.Ok())
    return false;
  if (codec == 4)
  {
    const int chopBits = reader.U8();
    if (!reader.Ok())
      return false;
    if (chopBits == 0)
      return readV2(reader, isV10, limit, depth + 1, values) &&
             values.size() == static_cast<size_t>(valueCount);
    const uint32_t bias     = reader.U32();
    const int      spanBits = reader.U8();
    if (!reader.Ok() || chopBits > spanBits || spanBits > 32)
      return false;
    std::vector<int32_t> high, low;
    if (!readV2(reader, isV10, limit, depth + 1, high) ||
        !readV2(reader, isV10, limit, depth + 1, low) ||
        high.size() != static_cast<size_t>(valueCount) || low.size() != high.size())
      return false;
    values.resize(valueCount);
    const int shift = spanBits - chopBits;
    for (size_t i = 0; i < values.size(); ++i)
    {
      const uint64_t combined =
          static_cast<uint32_t>(low[i]) | (uint64_t(static_cast<uint32_t>(high[i])) << shift);
      values[i] = static_cast<int32_t>(static_cast<uint32_t>(combined) + bias);
    }
    return true;
  }
  if (codec == 5 && isV10)
  {
    std::vector<int32_t> window, offsets;
    if (!readV2(reader, isV10, limit, depth + 1, window) ||
        !readV2(reader, isV10, limit, depth + 1, offsets) ||
        offsets.size() != static_cast<size_t>(valueCount))
      return false;
    uint64_t work    = 0;
    int64_t  counter = 0;
    values.reserve(valueCount);
    for (const int32_t offset : offsets)
    {
      const int64_t position = offset == -1  ? counter++
                               : offset < -1 ? 8 + int64_t(offset)
                                             : offset;
      if (position < 0 || position >= static_cast<int64_t>(window.size()))
        return false;
      work += static_cast<uint64_t>(position);
      if (work > THE_MAX_MTF_WORK)
        return false;
      values.push_back(window[position]);
      std::rotate(window.begin(), window.begin() + position, window.begin() + position + 1);
    }
    return true;
  }
  if (codec != 0 && codec != 1 && codec != 3)
    return false;

  const int32_t length = reader.I32();
  if (!reader.Ok() || length < 0)
    return false;
  if (codec == 0)
  {
    // Version 9 stores a byte count, version 10 a bit count.
    const int64_t count = isV10 ? (int64_t(length) + 31) / 32 : length / 4;
    if (!reader.CanHold(count, 4) || count < valueCount)
      return false;
    values.resize(static_cast<size_t>(count));
    for (int32_t& v : values)
      v = reader.I32();
    values.resize(valueCount);
    return reader.Ok();
  }
  CodeText code;
  if (!code.Read(reader, length, (int64_t(length) + 31) / 32))
    return false;
  values.reserve(std::min<size_t>(valueCount, 64 + size_t(length) * 2));
  if (codec == 1)
    return decodeBitlengthV2(code, isV10, valueCount, values);

  std::vector<Table> tables(1);
  if (!readTableV2(reader, isV10, tables[0]))
    return false;
  bool hasEscape = !isV10;
  for (const Entry& e : tables[0].Entries)
    hasEscape = hasEscape || e.IsEscape;
  std::vector<int32_t> outOfBand;
  if (hasEscape && !readV2(reader, isV10, limit, depth + 1, outOfBand))
    return false;
  if (length == 0 && outOfBand.size() == static_cast<size_t>(valueCount))
  {
    values = outOfBand;
    return true;
  }
  return decodeArithmetic(code, tables, outOfBand, valueCount, valueCount, values);
}

} // namespace

bool JtDecode_Int32CDP::ReadV8(JtData_Reader&        reader,
                               const Predictor       predictor,
                               const size_t          limit,
                               std::vector<int32_t>& values)
{
  if (!readV8(reader, limit, 0, values))
  {
    values.clear();
    return false;
  }
  UnPredict(predictor, values);
  return true;
}

bool JtDecode_Int32CDP::ReadV2(JtData_Reader&        reader,
                               const int             majorVersion,
                               const Predictor       predictor,
                               const size_t          limit,
                               std::vector<int32_t>& values)
{
  if (!readV2(reader, majorVersion >= 10, limit, 0, values))
  {
    values.clear();
    return false;
  }
  UnPredict(predictor, values);
  return true;
}

void JtDecode_Int32CDP::UnPredict(const Predictor predictor, std::vector<int32_t>& values)
{
  if (predictor == Predictor_Null)
    return;
  // Sums wrap around at 32 bits, so they are done on unsigned values.
  std::vector<uint32_t> out(values.begin(), values.end());
  for (size_t i = 4; i < out.size(); ++i)
  {
    const uint32_t v1 = out[i - 1], v2 = out[i - 2], v4 = out[i - 4];
    uint32_t       p = 0;
    switch (predictor)
    {
    case Predictor_Lag1:
      p = v1;
      break;
    case Predictor_Lag2:
      p = v2;
      break;
    case Predictor_Stride1:
      p = v1 + (v1 - v2);
      break;
    case Predictor_Stride2:
      p = v2 + (v2 - v4);
      break;
    case Predictor_StripIndex:
    {
      const int32_t delta = static_cast<int32_t>(v2 - v4);
      p                   = delta > -8 && delta < 8 ? v2 + (v2 - v4) : v2 + 2;
      break;
    }
    case Predictor_Ramp:
      p = static_cast<uint32_t>(i);
      break;
    case Predictor_Xor1:
      out[i] ^= v1;
      continue;
    case Predictor_Xor2:
      out[i] ^= v2;
      continue;
    default:
      break;
    }
    out[i] += p;
  }
  for (size_t i = 0; i < out.size(); ++i)
    values[i] = static_cast<int32_t>(out[i]);
}
