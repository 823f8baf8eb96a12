// Sixteen-byte identifier of JT object types and segments, kept as the bytes of its text
// form (integer parts in big-endian order) so that it compares and prints independently of
// the file's byte order. Also serves as its own hasher for the collection maps.
#ifndef Jt_GUID_HeaderFile
#define Jt_GUID_HeaderFile

#include <JT_Export.hxx>

#include <Standard_TypeDef.hxx>

#include <array>
#include <cstdint>
#include <string>

class JT_EXPORT Jt_GUID
{
public:
  Jt_GUID() { myBytes.fill(0); }

  //! Parses "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx"; a malformed text gives the zero GUID.
  explicit Jt_GUID(const char* text);

  //! Builds the GUID from the 16 bytes stored in a file of the given byte order.
  static Jt_GUID FromFile(const uint8_t* bytes, const bool isBigEndian);

  //! The text form, lower case.
  std::string ToString() const;

  //! True for the end-of-elements marker (all bytes 0xFF).
  bool IsEndOfElements() const;

  bool operator==(const Jt_GUID& other) const { return myBytes == other.myBytes; }
  bool operator!=(const Jt_GUID& other) const { return myBytes != other.myBytes; }
  bool operator<(const Jt_GUID& other) const { return myBytes < other.myBytes; }

  //! Hasher interface of NCollection maps.
  static Standard_Integer HashCode(const Jt_GUID& guid, const Standard_Integer upperBound);
  static Standard_Boolean IsEqual(const Jt_GUID& a, const Jt_GUID& b) { return a == b; }

private:
  std::array<uint8_t, 16> myBytes;
};

#endif
