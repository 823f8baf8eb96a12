// Bounds-checked cursor over a block of JT data (a decompressed segment or an element).
// Every read checks the bytes left; a read past the end sets a sticky failure flag and
// yields zero, so a parser can read a group of fields and test Ok() once. Multi-byte
// values follow the file's byte order. Cost: O(1) per field.
#ifndef JtData_Reader_HeaderFile
#define JtData_Reader_HeaderFile

#include <JT_Export.hxx>
#include <Jt_GUID.hxx>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class JT_EXPORT JtData_Reader
{
public:
  JtData_Reader(const uint8_t* data, const size_t size, const bool isBigEndian)
      : myData(data), mySize(size), myPos(0), myIsBigEndian(isBigEndian), myIsOk(true)
  {
  }

  bool           Ok() const { return myIsOk; }
  void           Fail() { myIsOk = false; }
  size_t         Position() const { return myPos; }
  size_t         Size() const { return mySize; }
  size_t         Remaining() const { return myPos <= mySize ? mySize - myPos : 0; }
  bool           IsBigEndian() const { return myIsBigEndian; }
  const uint8_t* Data() const { return myData; }

  //! Moves to an absolute position; beyond the end fails.
  bool Seek(const size_t position);
  //! Skips bytes; beyond the end fails.
  bool Skip(const size_t count)
  {
    return Seek(myPos + (count <= Remaining() ? count : mySize + 1 - myPos));
  }

  uint8_t  U8();
  uint16_t U16();
  int16_t  I16() { return static_cast<int16_t>(U16()); }
  uint32_t U32();
  int32_t  I32() { return static_cast<int32_t>(U32()); }
  uint64_t U64();
  float    F32();
  double   F64();
  Jt_GUID  GUID();
  //! Reads `count` raw bytes; false (and failed) when fewer remain.
  bool Bytes(uint8_t* out, const size_t count);

  //! Counted UTF-16 string, converted to UTF-8; a count beyond the data fails.
  std::string MbString();
  //! Counted vector of I32; a count beyond the data fails.
  std::vector<int32_t> VecI32();
  //! Counted vector of U32 (same layout as VecI32).
  std::vector<uint32_t> VecU32();
  //! Counted vector of F32.
  std::vector<float> VecF32();

  //! True when `count` items of `itemSize` bytes can still follow (count >= 0).
  bool CanHold(const int64_t count, const size_t itemSize) const
  {
    return count >= 0 &&
           static_cast<uint64_t>(count) <= Remaining() / (itemSize == 0 ? 1 : itemSize);
  }

private:
  uint64_t readRaw(const int nbBytes);

private:
  const uint8_t* myData;
  size_t         mySize;
  size_t         myPos;
  bool           myIsBigEndian;
  bool           myIsOk;
};

#endif
