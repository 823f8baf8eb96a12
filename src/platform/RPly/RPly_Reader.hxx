// Callback-driven PLY reader: opens a file (or a memory block), parses the header into
// elements and properties, and then walks the body value by value, calling the callback
// installed on each property with the instance index and the list position of the value.
//
// ASCII, binary little-endian and binary big-endian bodies, every scalar and list type,
// "comment" and "obj_info" header lines. Every count, list length and index is checked
// against the data actually present: a malformed or truncated file makes ReadHeader or
// Read answer false with a message in Error(), never reads out of bounds and never
// allocates according to a declared count. Reading is buffered (1 MiB blocks) and costs
// O(file size); values of properties without a callback are skipped undecoded.
#ifndef RPly_Reader_HeaderFile
#define RPly_Reader_HeaderFile

#include <RPly_Types.hxx>

#include <cstdio>

class RPly_EXPORT RPly_Reader
{
public:
  RPly_Reader();
  ~RPly_Reader();
  RPly_Reader(const RPly_Reader&)            = delete;
  RPly_Reader& operator=(const RPly_Reader&) = delete;

  //! Opens a file for reading (binary mode). @return false when it cannot be opened.
  bool Open(const std::string& path);

  //! Reads from a memory block that must outlive the reader. @return true.
  bool OpenMemory(const char* data, const size_t size);

  //! Parses the header up to "end_header".
  //! @return false for a missing "ply" magic line, an unknown format or type, a property
  //! outside an element, a missing "end_header" or a malformed keyword line. A line that
  //! starts with no keyword is skipped and reported in Warnings().
  bool ReadHeader();

  //! Elements of the header in file order (valid after ReadHeader).
  const std::vector<RPly_Element>& Elements() const { return m_elements; }
  const std::vector<std::string>&  Comments() const { return m_comments; }
  const std::vector<std::string>&  ObjInfos() const { return m_objInfos; }
  //! Header lines skipped by ReadHeader, one sentence each.
  const std::vector<std::string>& Warnings() const { return m_warnings; }
  RPly_Storage                    Storage() const { return m_storage; }

  //! Installs a callback on a property of an element.
  //! @return the element's declared instance count, or 0 when the element or the
  //! property does not exist (nothing is installed then).
  int64_t SetReadCallback(const std::string& element,
                          const std::string& property,
                          RPly_ReadCallback  callback,
                          void*              userData,
                          const long         userIndex);

  //! Installs a callback that receives each list of a list property whole, in one call
  //! per instance (see RPly_Argument::Values) instead of one call per value: the cheap
  //! way to take index lists. @return as SetReadCallback; 0 for a scalar property too.
  int64_t SetListReadCallback(const std::string& element,
                              const std::string& property,
                              RPly_ReadCallback  callback,
                              void*              userData,
                              const long         userIndex);

  //! Reads the body, calling the installed callbacks in file order.
  //! @return false for truncated data, an unparsable ASCII number, a negative or
  //! non-integral list length, or a callback that asked to stop.
  bool Read();

  //! Releases the file; also done by the destructor.
  void Close();

  //! The reason of the last failure, in English.
  const std::string& Error() const { return m_error; }

private:
  bool fail(const std::string& message);
  bool refill(const size_t needed);
  bool readLine(std::string& line);
  bool hasTrailingData();
  bool readElementBinary(const RPly_Element& element);
  bool readElementAscii(const RPly_Element& element);
  bool binaryValue(const RPly_Type type, double& value);
  bool asciiValue(const RPly_Type type, double& value);
  RPly_Property*
  findProperty(const std::string& element, const std::string& property, int64_t& count);

private:
  FILE*                     m_file = nullptr;
  std::vector<char>         m_buffer; //!< block buffer of file reading
  const char*               m_pos     = nullptr;
  const char*               m_end     = nullptr;
  bool                      m_eof     = false; //!< no more bytes behind m_end
  RPly_Storage              m_storage = RPly_Ascii;
  std::vector<RPly_Element> m_elements;
  std::vector<std::string>  m_comments;
  std::vector<std::string>  m_objInfos;
  std::vector<std::string>  m_warnings;
  std::string               m_error;
  std::vector<double>       m_listValues; //!< the current list of a whole-list callback
  bool                      m_headerRead = false;
};

#endif
