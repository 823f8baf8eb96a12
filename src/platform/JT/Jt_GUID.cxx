#include <Jt_GUID.hxx>

#include <cstdio>

namespace
{
int hexDigit(const char c)
{
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}
} // namespace

Jt_GUID::Jt_GUID(const char* text)
{
  myBytes.fill(0);
  std::array<uint8_t, 16> bytes{};
  int                     nbDigits = 0;
  for (const char* c = text; *c != '\0'; ++c)
  {
    if (*c == '-')
      continue;
    const int digit = hexDigit(*c);
    if (digit < 0 || nbDigits >= 32)
      return;
    bytes[nbDigits / 2] = static_cast<uint8_t>(bytes[nbDigits / 2] << 4 | digit);
    ++nbDigits;
  }
  if (nbDigits == 32)
    myBytes = bytes;
}

Jt_GUID Jt_GUID::FromFile(const uint8_t* bytes, const bool isBigEndian)
{
  // The U32 and the two U16 parts follow the file's byte order; the last 8 bytes do not.
  Jt_GUID guid;
  for (int i = 0; i < 16; ++i)
    guid.myBytes[i] = bytes[i];
  if (!isBigEndian)
  {
    std::swap(guid.myBytes[0], guid.myBytes[3]);
    std::swap(guid.myBytes[1], guid.myBytes[2]);
    std::swap(guid.myBytes[4], guid.myBytes[5]);
    std::swap(guid.myBytes[6], guid.myBytes[7]);
  }
  return guid;
}

std::string Jt_GUID::ToString() const
{
  char  text[40];
  char* out = text;
  for (int i = 0; i < 16; ++i)
  {
    if (i == 4 || i == 6 || i == 8 || i == 10)
      *out++ = '-';
    std::snprintf(out, 3, "%02x", myBytes[i]);
    out += 2;
  }
  return std::string(text);
}

bool Jt_GUID::IsEndOfElements() const
{
  for (const uint8_t b : myBytes)
    if (b != 0xFF)
      return false;
  return true;
}

Standard_Integer Jt_GUID::HashCode(const Jt_GUID& guid, const Standard_Integer upperBound)
{
  // FNV-1a over the bytes, reduced to 1..upperBound as the maps expect.
  uint32_t hash = 2166136261u;
  for (const uint8_t b : guid.myBytes)
    hash = (hash ^ b) * 16777619u;
  return static_cast<Standard_Integer>(hash % static_cast<uint32_t>(upperBound)) + 1;
}
