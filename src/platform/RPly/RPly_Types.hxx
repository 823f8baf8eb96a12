// Vocabulary shared by the PLY reader and writer: storage modes, scalar types, the header's
// elements and properties, and the record a read callback receives for every value.
#ifndef RPly_Types_HeaderFile
#define RPly_Types_HeaderFile

#include <cstdint>
#include <string>
#include <vector>

#define RPly_EXPORT __attribute__((visibility("default")))

//! How the body of a PLY file is stored.
enum RPly_Storage
{
  RPly_Ascii,    //!< whitespace-separated decimal numbers
  RPly_BinaryLE, //!< binary, little-endian
  RPly_BinaryBE  //!< binary, big-endian
};

//! Scalar types of PLY properties (both the classic and the sized names are accepted).
enum RPly_Type
{
  RPly_Int8,    //!< char, int8
  RPly_UInt8,   //!< uchar, uint8
  RPly_Int16,   //!< short, int16
  RPly_UInt16,  //!< ushort, uint16
  RPly_Int32,   //!< int, int32
  RPly_UInt32,  //!< uint, uint32
  RPly_Float32, //!< float, float32
  RPly_Float64  //!< double, float64
};

struct RPly_Argument;

//! Read callback: called once per value of the property it is installed on, or once per
//! list for a whole-list callback. Answer non-zero to continue, zero to stop reading (the
//! read then fails).
typedef int (*RPly_ReadCallback)(const RPly_Argument& argument);

//! One property of an element as declared in the header.
struct RPly_Property
{
  std::string       Name;
  bool              IsList     = false;
  RPly_Type         Type       = RPly_Float32; //!< the value type (of list entries for lists)
  RPly_Type         LengthType = RPly_UInt8;   //!< the list length type (lists only)
  RPly_ReadCallback Callback   = nullptr;
  bool              WholeList  = false; //!< the callback takes a whole list per call
  void*             UserData   = nullptr;
  long              UserIndex  = 0;
};

//! One element of the header: its name, its declared instance count, its properties.
struct RPly_Element
{
  std::string                Name;
  int64_t                    Count = 0;
  std::vector<RPly_Property> Properties;
};

//! What a read callback learns about the value it receives.
struct RPly_Argument
{
  const RPly_Element*  Element  = nullptr;
  const RPly_Property* Property = nullptr;
  int64_t              Instance = 0; //!< 0-based instance of the element
  //! List length of the current instance (1 for a scalar property).
  int64_t Length = 1;
  //! 0-based position of the value in its list; -1 when the value is the list length.
  int64_t Index = 0;
  double  Value = 0.0;
  //! For a whole-list callback: the Length values of the list (Index is -1 and Value the
  //! length then); null otherwise.
  const double* Values    = nullptr;
  void*         UserData  = nullptr;
  long          UserIndex = 0;
};

//! Size in bytes of a scalar type in binary storage.
inline int RPly_SizeOf(const RPly_Type type)
{
  static const int sizes[] = {1, 1, 2, 2, 4, 4, 4, 8};
  return sizes[type];
}

#endif
