// Topologically compressed mesh decoder.
//
// Symbol lists are decoded first, each with its own read cursor; the dual mesh is then
// rebuilt by replaying the coder's traversal, and finally the vertex records are read and
// tied to the corners. Every list index, slot and count taken from the file is checked
// before use, so a corrupt mesh ends the decoding with false rather than a bad access.
#include <JtDecode_TopoMesh.hxx>

#include <JtDecode_Int32CDP.hxx>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{

typedef JtDecode_Int32CDP CDP;

//! A decoded symbol list with its read cursor.
struct SymbolList
{
  std::vector<int32_t> Values;
  size_t               Next = 0;

  bool    Exhausted() const { return Next >= Values.size(); }
  int32_t Take() { return Values[Next++]; }
  bool    Consumed() const { return Next == Values.size(); }
};

struct Symbols
{
  SymbolList            Degrees[8];
  SymbolList            Valences, Groups, Flags;
  SymbolList            Masks[8];
  SymbolList            MaskHigh1, MaskHigh2; //!< context 7 bits above the low word
  std::vector<uint32_t> HighDegreeMasks;
  size_t                NextHighDegreeWord = 0;
  SymbolList            SplitFaces, SplitPositions;
};

bool readSymbols(JtData_Reader& reader, const int major, const size_t limit, Symbols& symbols)
{
  for (SymbolList& list : symbols.Degrees)
    if (!CDP::ReadV2(reader, major, CDP::Predictor_Null, limit, list.Values))
      return false;
  if (!CDP::ReadV2(reader, major, CDP::Predictor_Null, limit, symbols.Valences.Values) ||
      !CDP::ReadV2(reader, major, CDP::Predictor_Null, limit, symbols.Groups.Values) ||
      !CDP::ReadV2(reader, major, CDP::Predictor_Lag1, limit, symbols.Flags.Values))
    return false;
  for (SymbolList& list : symbols.Masks)
    if (!CDP::ReadV2(reader, major, CDP::Predictor_Null, limit, list.Values))
      return false;
  if (!CDP::ReadV2(reader, major, CDP::Predictor_Null, limit, symbols.MaskHigh1.Values))
    return false;
  if (major < 10 &&
      !CDP::ReadV2(reader, major, CDP::Predictor_Null, limit, symbols.MaskHigh2.Values))
    return false;
  symbols.HighDegreeMasks = reader.VecU32();
  if (!reader.Ok() ||
      !CDP::ReadV2(reader, major, CDP::Predictor_Lag1, limit, symbols.SplitFaces.Values) ||
      !CDP::ReadV2(reader, major, CDP::Predictor_Null, limit, symbols.SplitPositions.Values))
    return false;
  reader.U32(); // hash of the lists
  return reader.Ok();
}

//! The dual mesh being rebuilt. Vertices are output polygons, faces output vertices.
class DualMesh
{
public:
  DualMesh(Symbols& symbols, const bool isV10, const size_t limit)
      : mySymbols(symbols), myIsV10(isV10), myLimit(limit)
  {
  }

  //! Replays the traversal until the valence list is used up.
  bool Decode();

  //! Checks that every list was used exactly.
  bool AllConsumed() const;

  int NbFaces() const { return static_cast<int>(myFaceDegree.size()); }
  int NbVertices() const { return static_cast<int>(myValence.size()); }
  int NbAttributes() const { return myNbAttributes; }

  int Valence(const int v) const { return myValence[v]; }
  int Group(const int v) const { return myGroup[v]; }
  int VertexSlot(const int v, const int s) const { return myVtxFaces[myVtxFirst[v] + s]; }
  int FaceDegree(const int f) const { return myFaceDegree[f]; }
  int FaceFirstAttribute(const int f) const { return myFaceFirstAttr[f]; }
  int FaceNbAttributes(const int f) const { return myFaceNbAttr[f]; }

  //! Index of the vertex record of the corner of polygon `v` at output vertex `f`, or -1.
  int CornerRecord(const int v, const int f) const;

private:
  int  next(const int i, const int n) const { return i + 1 == n ? 0 : i + 1; }
  int  prev(const int i, const int n) const { return i == 0 ? n - 1 : i - 1; }
  int& faceSlot(const int f, const int s) { return myFaceVtxs[myFaceFirst[f] + s]; }
  int& vtxSlot(const int v, const int s) { return myVtxFaces[myVtxFirst[v] + s]; }
  bool maskBit(const int f, const int s) const
  {
    return (myMaskWords[myFaceMaskFirst[f] + s / 32] >> (s % 32) & 1u) != 0;
  }

  void setFaceVtx(const int f, const int s, const int v)
  {
    int& slot = faceSlot(f, s);
    if (slot != v)
    {
      --myFaceEmpty[f];
      slot = v;
    }
  }
  int findVtxSlot(const int f, const int v) const
  {
    const int* slots = &myFaceVtxs[myFaceFirst[f]];
    int        s     = 0;
    while (s < myFaceDegree[f] && slots[s] != v)
      ++s;
    myWork += s;
    return s < myFaceDegree[f] ? s : -1;
  }
  int findFaceSlot(const int v, const int f) const
  {
    const int* slots = &myVtxFaces[myVtxFirst[v]];
    int        s     = 0;
    while (s < myValence[v] && slots[s] != f)
      ++s;
    myWork += s;
    return s < myValence[v] ? s : -1;
  }
  //! First empty slot of a face. Slots are filled and never emptied, so the search resumes
  //! where the previous one stopped.
  int findEmptySlot(const int f)
  {
    int&       s     = myFaceScan[f];
    const int* slots = &myFaceVtxs[myFaceFirst[f]];
    while (s < myFaceDegree[f] && slots[s] != -1)
      ++s;
    return s < myFaceDegree[f] ? s : -1;
  }

  bool newVertex(int& v);
  bool faceContext(const int v, int& context) const;
  bool newFace(const int v, int& f);
  bool addVtxToFace(const int v, const int vs, const int f, const int fs);
  bool activateFace(const int v, const int s);
  bool activateVertex(const int f, const int fs, int& v);
  //! Fills the faces of slots i, i + step, ... of vertex v up to `end` (excluded) by walking
  //! around it from slot 0 (whose face has v at slot fs), until a slot or a neighbour is
  //! still unknown; `i` is left at the slot where the walk stopped.
  bool sweepVertex(const int v, const int fs, const int step, const int end, int& i);
  bool completeVertex(const int v, const int fs);
  int  nextActiveFace();

private:
  Symbols& mySymbols;
  bool     myIsV10;
  size_t   myLimit;
  bool     myIsOk = true;

  std::vector<int>      myValence, myGroup, myVtxFirst, myVtxFaces;
  std::vector<int>      myFaceDegree, myFaceEmpty, myFaceFirst, myFaceVtxs;
  std::vector<int>      myFaceNbAttr, myFaceFirstAttr, myFaceMaskFirst;
  std::vector<uint32_t> myMaskWords;
  std::vector<int>      myActive;
  std::vector<char>     myRemoved;
  std::vector<int>      myFaceScan;
  int                   myNbAttributes = 0;
  //! Slot visits of the ring searches, whose total grows with the square of the largest
  //! ring; crafted data with huge rings would otherwise stall the decoder.
  mutable uint64_t myWork = 0;
};

bool DualMesh::newVertex(int& v)
{
  v = -1;
  if (mySymbols.Valences.Exhausted())
    return false;
  const int32_t valence = mySymbols.Valences.Take();
  if (valence < 1 || mySymbols.Groups.Exhausted() || mySymbols.Flags.Exhausted() ||
      myVtxFaces.size() + size_t(valence) > myLimit)
  {
    myIsOk = false;
    return false;
  }
  v = static_cast<int>(myValence.size());
  myValence.push_back(valence);
  myGroup.push_back(mySymbols.Groups.Take());
  mySymbols.Flags.Take();
  myVtxFirst.push_back(static_cast<int>(myVtxFaces.size()));
  myVtxFaces.resize(myVtxFaces.size() + valence, -1);
  return true;
}

bool DualMesh::faceContext(const int v, int& context) const
{
  int64_t n = 0, sum = 0;
  for (int s = 0; s < myValence[v]; ++s)
  {
    const int f = myVtxFaces[myVtxFirst[v] + s];
    if (f >= 0)
    {
      ++n;
      sum += myFaceDegree[f];
    }
  }
  switch (myValence[v])
  {
  case 3:
    context = sum < 6 * n ? 0 : sum == 6 * n ? 1 : 2;
    break;
  case 4:
    context = sum < 4 * n ? 3 : sum == 4 * n ? 4 : 5;
    break;
  case 5:
    context = 6;
    break;
  default:
    context = 7;
  }
  return true;
}

bool DualMesh::newFace(const int v, int& f)
{
  int context = 0;
  faceContext(v, context);
  SymbolList& degrees = mySymbols.Degrees[context];
  if (degrees.Exhausted())
    return false;
  const int32_t degree = degrees.Take();
  if (degree == 0)
  {
    f = -1; // an existing face: the caller reads a split reference
    return true;
  }
  if (degree < 0 || myFaceVtxs.size() + size_t(degree) > myLimit)
    return false;

  // Attribute mask: one list symbol (with high parts for context 7) or, above 64 corners,
  // whole words of the high-degree list.
  const int nbWords = std::max(2, (degree + 31) / 32);
  const int first   = static_cast<int>(myMaskWords.size());
  myMaskWords.resize(myMaskWords.size() + nbWords, 0);
  uint32_t* words = &myMaskWords[first];
  if (degree <= 64)
  {
    const int   maskContext = std::min(7, std::max(0, degree - 2));
    SymbolList& masks       = mySymbols.Masks[maskContext];
    if (masks.Exhausted())
      return false;
    uint64_t mask = static_cast<uint32_t>(masks.Take());
    if (maskContext == 7)
    {
      if (mySymbols.MaskHigh1.Exhausted())
        return false;
      const uint64_t high1 = static_cast<uint32_t>(mySymbols.MaskHigh1.Take());
      if (myIsV10)
      {
        mask |= high1 << 32;
      }
      else
      {
        if (mySymbols.MaskHigh2.Exhausted())
          return false;
        const uint64_t high2 = static_cast<uint32_t>(mySymbols.MaskHigh2.Take());
        mask                 = (mask & 0x3FFFFFFF) | (high1 & 0x3FFFFFFF) << 30 | high2 << 60;
      }
    }
    else if (!myIsV10)
    {
      mask &= 0x3FFFFFFF;
    }
    if (degree < 64)
      mask &= (uint64_t(1) << degree) - 1;
    words[0] = static_cast<uint32_t>(mask);
    words[1] = static_cast<uint32_t>(mask >> 32);
  }
  else
  {
    const std::vector<uint32_t>& high = mySymbols.HighDegreeMasks;
    if (mySymbols.NextHighDegreeWord + nbWords > high.size())
      return false;
    for (int k = 0; k < nbWords; ++k)
      words[k] = high[mySymbols.NextHighDegreeWord++];
    if (degree % 32 != 0)
      words[nbWords - 1] &= (uint32_t(1) << (degree % 32)) - 1;
  }
  int nbAttributes = 0;
  for (int k = 0; k < nbWords; ++k)
    nbAttributes += __builtin_popcount(words[k]);
  if (int64_t(myNbAttributes) + nbAttributes > int64_t(myLimit))
    return false;

  f = static_cast<int>(myFaceDegree.size());
  myFaceDegree.push_back(degree);
  myFaceEmpty.push_back(degree);
  myFaceFirst.push_back(static_cast<int>(myFaceVtxs.size()));
  myFaceVtxs.resize(myFaceVtxs.size() + degree, -1);
  myFaceNbAttr.push_back(nbAttributes);
  myFaceFirstAttr.push_back(myNbAttributes);
  myFaceMaskFirst.push_back(first);
  myRemoved.push_back(0);
  myFaceScan.push_back(0);
  myNbAttributes += nbAttributes;
  return true;
}

bool DualMesh::addVtxToFace(const int v, const int vs, const int f, const int fs)
{
  setFaceVtx(f, fs, v);
  const int degree  = myFaceDegree[f];
  const int valence = myValence[v];
  const int p       = faceSlot(f, prev(fs, degree));
  if (p >= 0)
  {
    const int ip = findFaceSlot(p, f);
    if (ip < 0)
      return false;
    int& slot = vtxSlot(v, next(vs, valence));
    if (slot < 0)
      slot = vtxSlot(p, prev(ip, myValence[p]));
  }
  const int q = faceSlot(f, next(fs, degree));
  if (q >= 0)
  {
    const int iq = findFaceSlot(q, f);
    if (iq < 0)
      return false;
    int& slot = vtxSlot(v, prev(vs, valence));
    if (slot < 0)
      slot = vtxSlot(q, next(iq, myValence[q]));
  }
  return true;
}

bool DualMesh::activateFace(const int v, const int s)
{
  int f = -1;
  if (!newFace(v, f))
    return false;
  if (f >= 0)
  {
    vtxSlot(v, s) = f;
    setFaceVtx(f, 0, v);
    myActive.push_back(f);
    return true;
  }
  // Split: the face is already on the active stack, `offset` entries from its top.
  if (mySymbols.SplitFaces.Exhausted() || mySymbols.SplitPositions.Exhausted())
    return false;
  const int32_t offset = mySymbols.SplitFaces.Take();
  if (offset < 1 || static_cast<size_t>(offset) > myActive.size())
    return false;
  f                = myActive[myActive.size() - offset];
  const int32_t fs = mySymbols.SplitPositions.Take();
  if (fs < 0 || fs >= myFaceDegree[f])
    return false;
  vtxSlot(v, s) = f;
  return addVtxToFace(v, s, f, fs);
}

bool DualMesh::activateVertex(const int f, const int fs, int& v)
{
  if (!newVertex(v))
    return false;
  vtxSlot(v, 0) = f;
  return addVtxToFace(v, 0, f, fs);
}

bool DualMesh::sweepVertex(const int v, const int fs, const int step, const int end, int& i)
{
  // Walking forward, the neighbour face of slot i lies before the shared vertex in the
  // previous face; walking backward, after it.
  const auto turn = [this, step](const int j, const int degree)
  { return step > 0 ? prev(j, degree) : next(j, degree); };
  int fp = vtxSlot(v, 0), jp = fs;
  while (i != end && vtxSlot(v, i) != -1)
  {
    jp          = turn(jp, myFaceDegree[fp]);
    const int w = faceSlot(fp, jp);
    if (w == -1)
      break;
    const int face = vtxSlot(v, i);
    int       jn   = findVtxSlot(face, w);
    if (jn < 0)
      return false;
    jn = turn(jn, myFaceDegree[face]);
    if (!addVtxToFace(v, i, face, jn))
      return false;
    fp = face;
    jp = jn;
    i += step;
  }
  return true;
}

bool DualMesh::completeVertex(const int v, const int fs)
{
  const int valence = myValence[v];
  // Forward sweep: walk around the known neighbour faces.
  int i = 1;
  if (!sweepVertex(v, fs, 1, valence, i))
    return false;
  if (i >= valence)
    return true;
  const int first = i;
  // Backward sweep from the other side.
  i = valence - 1;
  if (!sweepVertex(v, fs, -1, first - 1, i))
    return false;
  if (i < first)
    return true;
  // The remaining slots get new (or split) faces.
  for (int s = first; s <= i; ++s)
    if (!activateFace(v, s))
      return false;
  return true;
}

int DualMesh::nextActiveFace()
{
  while (!myActive.empty() && myRemoved[myActive.back()])
    myActive.pop_back();
  // Among the top sixteen live faces, the one with the fewest empty slots; a tie goes to the
  // face nearer the top. Removed faces met on the way leave the stack, which widens the
  // window by one each time.
  int best = -1, bestEmpty = 0;
  int i   = static_cast<int>(myActive.size()) - 1;
  int low = std::max(0, static_cast<int>(myActive.size()) - 16);
  while (i >= low)
  {
    const int f = myActive[i];
    if (myRemoved[f])
    {
      myActive.erase(myActive.begin() + i);
      low = std::max(0, static_cast<int>(myActive.size()) - 16);
    }
    else if (best < 0 || myFaceEmpty[f] < bestEmpty)
    {
      best      = f;
      bestEmpty = myFaceEmpty[f];
    }
    --i;
  }
  return best;
}

bool DualMesh::Decode()
{
  // Real meshes visit a few slots per corner; a thousand times the corner limit (at least
  // 1e8 visits) only stops data made to stall the decoder.
  const uint64_t maxWork = std::max<uint64_t>(100000000, uint64_t(myLimit) * 1000);
  int            seed    = -1;
  while (newVertex(seed))
  {
    for (int s = 0; s < myValence[seed]; ++s)
      if (!activateFace(seed, s))
        return false;
    for (int f = nextActiveFace(); f >= 0; f = nextActiveFace())
    {
      for (int fs = findEmptySlot(f); fs >= 0; fs = findEmptySlot(f))
      {
        int w = -1;
        if (!activateVertex(f, fs, w) || !completeVertex(w, fs) || myWork > maxWork)
          return false;
      }
      myRemoved[f] = 1;
    }
  }
  return myIsOk;
}

bool DualMesh::AllConsumed() const
{
  for (const SymbolList& list : mySymbols.Degrees)
    if (!list.Consumed())
      return false;
  for (const SymbolList& list : mySymbols.Masks)
    if (!list.Consumed())
      return false;
  return mySymbols.Valences.Consumed() && mySymbols.Groups.Consumed() &&
         mySymbols.Flags.Consumed() && mySymbols.MaskHigh1.Consumed() &&
         mySymbols.MaskHigh2.Consumed() && mySymbols.SplitFaces.Consumed() &&
         mySymbols.SplitPositions.Consumed() &&
         mySymbols.NextHighDegreeWord == mySymbols.HighDegreeMasks.size();
}

int DualMesh::CornerRecord(const int v, const int f) const
{
  const int nbAttributes = myFaceNbAttr[f];
  if (nbAttributes == 0)
    return -1;
  // The attribute in force at a slot is the last one whose mask bit is set at or before it;
  // before the first set bit the last attribute (from the slots at the end) applies.
  int count = 0;
  for (int s = 0; s < myFaceDegree[f]; ++s)
  {
    if (maskBit(f, s))
      ++count;
    if (myFaceVtxs[myFaceFirst[f] + s] == v)
    {
      const int slot = count == 0 ? nbAttributes - 1 : (count - 1) % nbAttributes;
      return myFaceFirstAttr[f] + slot;
    }
  }
  return -1;
}

float floatOfBits(const int32_t bits)
{
  float value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

//! Reads one component array stored losslessly: exponent and mantissa lists (version 9) or
//! the raw bits (version 10).
bool readLossless(JtData_Reader&       reader,
                  const int            major,
                  const CDP::Predictor predictor,
                  const size_t         limit,
                  std::vector<float>&  values)
{
  std::vector<int32_t> first, second;
  if (!CDP::ReadV2(reader, major, predictor, limit, first))
    return false;
  if (major < 10)
  {
    if (!CDP::ReadV2(reader, major, predictor, limit, second) || second.size() != first.size())
      return false;
    for (size_t i = 0; i < first.size(); ++i)
      first[i] = static_cast<int32_t>(static_cast<uint32_t>(first[i]) << 23 |
                                      (static_cast<uint32_t>(second[i]) & 0x7FFFFF));
  }
  values.resize(first.size());
  for (size_t i = 0; i < first.size(); ++i)
    values[i] = floatOfBits(first[i]);
  return true;
}

//! Coordinates: one position per topological vertex.
bool readCoordinates(JtData_Reader&      reader,
                     const int           major,
                     const size_t        limit,
                     std::vector<float>& xyz)
{
  const int32_t count        = reader.I32();
  const int     nbComponents = reader.U8();
  float         minimum[3], maximum[3];
  int           bits[3];
  for (int c = 0; c < 3; ++c)
  {
    minimum[c] = reader.F32();
    maximum[c] = reader.F32();
    bits[c]    = reader.U8();
  }
  if (!reader.Ok() || count < 0 || static_cast<size_t>(count) > limit || nbComponents != 3)
    return false;
  // The output is sized once the first component has shown that the count is real.
  for (int c = 0; c < 3; ++c)
  {
    std::vector<float> component;
    if (bits[c] == 0)
    {
      if (!readLossless(reader, major, CDP::Predictor_Lag1, limit, component))
        return false;
    }
    else
    {
      std::vector<int32_t> codes;
      if (bits[c] > 32 || !CDP::ReadV2(reader, major, CDP::Predictor_Lag1, limit, codes))
        return false;
      const double step = (double(maximum[c]) - minimum[c]) / (std::ldexp(1.0, bits[c]) - 1.0);
      component.resize(codes.size());
      for (size_t i = 0; i < codes.size(); ++i)
        component[i] = static_cast<float>(minimum[c] + static_cast<uint32_t>(codes[i]) * step);
    }
    if (component.size() != static_cast<size_t>(count))
      return false;
    xyz.resize(size_t(count) * 3);
    for (int32_t i = 0; i < count; ++i)
      xyz[size_t(i) * 3 + c] = component[i];
  }
  reader.U32(); // hash
  return reader.Ok();
}

//! Normals: one per vertex attribute record.
bool readNormals(JtData_Reader&      reader,
                 const int           major,
                 const size_t        limit,
                 std::vector<float>& xyz)
{
  const int32_t count        = reader.I32();
  const int     nbComponents = reader.U8();
  const int     bits         = reader.U8();
  if (!reader.Ok() || count < 0 || static_cast<size_t>(count) > limit || nbComponents != 3 ||
      bits > 31)
    return false;
  // As for coordinates, the output is sized once decoded lists have shown the count real.
  if (bits == 0)
  {
    for (int c = 0; c < 3; ++c)
    {
      std::vector<float> component;
      if (!readLossless(reader, major, CDP::Predictor_Null, limit, component) ||
          component.size() != static_cast<size_t>(count))
        return false;
      xyz.resize(size_t(count) * 3);
      for (int32_t i = 0; i < count; ++i)
        xyz[size_t(i) * 3 + c] = component[i];
    }
  }
  else
  {
    std::vector<int32_t> codes[4]; // sextant, octant, theta, psi
    for (std::vector<int32_t>& list : codes)
      if (!CDP::ReadV2(reader, major, CDP::Predictor_Null, limit, list) ||
          list.size() != static_cast<size_t>(count))
        return false;
    xyz.resize(size_t(count) * 3);
    for (int32_t i = 0; i < count; ++i)
      JtDecode_TopoMesh::DecodeNormal(codes[0][i], codes[1][i], codes[2][i], codes[3][i], bits,
                                      &xyz[size_t(i) * 3]);
  }
  reader.U32(); // hash
  return reader.Ok();
}

} // namespace

void JtDecode_TopoMesh::DecodeNormal(const int sextant,
                                     const int octant,
                                     const int theta,
                                     const int psi,
                                     const int nbBits,
                                     float     normal[3])
{
  const double psiMax = 0.615479709;
  const double n      = std::ldexp(1.0, nbBits);
  const double t      = double(theta) + (sextant & 1);
  const double th     = std::asin(std::tan(psiMax * (n - t) / n));
  const double ps     = psiMax * psi / n;
  double       x = std::cos(th) * std::cos(ps), y = std::sin(ps), z = std::sin(th) * std::cos(ps);
  switch (sextant)
  {
  case 1:
    std::swap(x, z);
    break;
  case 2:
  {
    const double a = y, b = z, c = x;
    x = a, y = b, z = c;
    break;
  }
  case 3:
    std::swap(x, y);
    break;
  case 4:
  {
    const double a = z, b = x, c = y;
    x = a, y = b, z = c;
    break;
  }
  case 5:
    std::swap(y, z);
    break;
  default:
    break;
  }
  if ((octant & 4) == 0)
    x = -x;
  if ((octant & 2) == 0)
    y = -y;
  if ((octant & 1) == 0)
    z = -z;
  normal[0] = static_cast<float>(x);
  normal[1] = static_cast<float>(y);
  normal[2] = static_cast<float>(z);
}

bool JtDecode_TopoMesh::Read(JtData_Reader& reader, const int major, const size_t limit, Mesh& mesh)
{
  mesh = Mesh();

  // 1. Symbol lists of the dual mesh.
  Symbols symbols;
  if (!readSymbols(reader, major, limit, symbols))
    return false;

  // 2. Vertex records: counts, then positions per topological vertex and normals per record.
  const uint64_t bindings = reader.U64();
  uint8_t        quantisation[4];
  reader.Bytes(quantisation, 4);
  const int32_t nbTopoVertices = reader.I32();
  if (!reader.Ok())
    return false;
  int32_t            nbAttributes = 0;
  std::vector<float> coordinates, normals;
  if (nbTopoVertices > 0)
  {
    nbAttributes = reader.I32();
    if (!reader.Ok() || nbAttributes < 0 ||
        ((bindings & 0x7) != 0 && !readCoordinates(reader, major, limit, coordinates)) ||
        ((bindings & 0x8) != 0 && !readNormals(reader, major, limit, normals)))
      return false;
  }

  // 3. The dual mesh, which must use up every list and agree with the record counts.
  DualMesh dual(symbols, major >= 10, limit);
  if (!dual.Decode() || !dual.AllConsumed() || dual.NbFaces() != std::max(nbTopoVertices, 0) ||
      dual.NbAttributes() != nbAttributes || coordinates.size() != size_t(dual.NbFaces()) * 3)
    return false;

  // 4. Output vertices: one per vertex record when normals come per record, else one per
  //    topological vertex.
  bool perRecord = !normals.empty() && normals.size() == size_t(nbAttributes) * 3;
  for (int f = 0; perRecord && f < dual.NbFaces(); ++f)
    perRecord = dual.FaceNbAttributes(f) > 0;
  if (perRecord)
  {
    mesh.Positions.resize(normals.size());
    for (int f = 0; f < dual.NbFaces(); ++f)
      for (int a = 0; a < dual.FaceNbAttributes(f); ++a)
        std::copy_n(&coordinates[size_t(f) * 3], 3,
                    &mesh.Positions[size_t(dual.FaceFirstAttribute(f) + a) * 3]);
    mesh.Normals.swap(normals);
  }
  else
  {
    mesh.Positions.swap(coordinates);
  }

  // 5. Polygons: dual vertices of a real face group, fanned into triangles.
  for (int v = 0; v < dual.NbVertices(); ++v)
  {
    if (dual.Group(v) < 0)
      continue;
    int corners[3] = {-1, -1, -1};
    for (int s = 0; s < dual.Valence(v); ++s)
    {
      const int f = dual.VertexSlot(v, s);
      if (f < 0)
        return false;
      const int corner = perRecord ? dual.CornerRecord(v, f) : f;
      if (corner < 0)
        return false;
      if (s < 2)
      {
        corners[s] = corner;
        continue;
      }
      corners[2] = corner;
      mesh.Triangles.insert(mesh.Triangles.end(), corners, corners + 3);
      corners[1] = corner;
    }
  }
  return true;
}
