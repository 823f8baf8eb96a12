#include <JtData_Reader.hxx>

#include <cstring>

bool JtData_Reader::Seek(const size_t position)
{
  if (position > mySize)
  {
    myPos  = mySize;
    myIsOk = false;
    return false;
  }
  myPos = position;
  return myIsOk;
}

uint64_t JtData_Reader::readRaw(const int nbBytes)
{
  if (Remaining() < static_cast<size_t>(nbBytes))
  {
    myPos  = mySize;
    myIsOk = false;
    return 0;
  }
  uint64_t       value = 0;
  const uint8_t* bytes = myData + myPos;
  for (int i = 0; i < nbBytes; ++i)
  {
    const int shift = myIsBigEndian ? 8 * (nbBytes - 1 - i) : 8 * i;
    value |= static_cast<uint64_t>(bytes[i]) << shift;
  }
  myPos += nbBytes;
  return value;
}

uint8_t JtData_Reader::U8()
{
  return static_cast<uint8_t>(readRaw(1));
}

uint16_t JtData_Reader::U16()
{
  return static_cast<uint16_t>(readRaw(2));
}

uint32_t JtData_Reader::U32()
{
  return static_cast<uint32_t>(readRaw(4));
}

uint64_t JtData_Reader::U64()
{
  return readRaw(8);
}

float JtData_Reader::F32()
{
  const uint32_t bits = U32();
  float          value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

double JtData_Reader::F64()
{
  const uint64_t bits = U64();
  double         value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

Jt_GUID JtData_Reader::GUID()
{
  uint8_t bytes[16];
  if (!Bytes(bytes, 16))
    return Jt_GUID();
  return Jt_GUID::FromFile(bytes, myIsBigEndian);
}

bool JtData_Reader::Bytes(uint8_t* out, const size_t count)
{
  if (count == 0)
    return myIsOk; // `out` may then be the null data of an empty buffer
  if (Remaining() < count)
  {
    myPos  = mySize;
    myIsOk = false;
    return false;
  }
  std::memcpy(out, myData + myPos, count);
  myPos += count;
  return true;
}

std::string JtData_Reader::MbString()
{
  const int32_t count = I32();
  if (!CanHold(count, 2))
  {
    myIsOk = false;
    return std::string();
  }
  std::string text;
  text.reserve(count);
  for (int32_t i = 0; i < count; ++i)
  {
    const uint32_t c = U16();
    // Names are plain text; surrogate pairs are kept as two replacement-free code points.
    if (c < 0x80)
      text += static_cast<char>(c);
    else if (c < 0x800)
    {
      text += static_cast<char>(0xC0 | (c >> 6));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
    else
    {
      text += static_cast<char>(0xE0 | (c >> 12));
      text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

std::vector<int32_t> JtData_Reader::VecI32()
{
  const int32_t count = I32();
  if (!CanHold(count, 4))
  {
    myIsOk = false;
    return {};
  }
  std::vector<int32_t> values(count);
  for (int32_t& v : values)
    v = I32();
  return values;
}

std::vector<uint32_t> JtData_Reader::VecU32()
{
  const int32_t count = I32();
  if (!CanHold(count, 4))
  {
    myIsOk = false;
    return {};
  }
  std::vector<uint32_t> values(count);
  for (uint32_t& v : values)
    v = U32();
  return values;
}

std::vector<float> JtData_Reader::VecF32()
{
  const int32_t count = I32();
  if (!CanHold(count, 4))
  {
    myIsOk = false;
    return {};
  }
  std::vector<float> values(count);
  for (float& v : values)
    v = F32();
  return values;
}
