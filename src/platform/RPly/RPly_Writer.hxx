// PLY writer: declares elements and properties, writes the header, then takes the body as
// a flat stream of values in file order (for a list: its length, then its entries), and
// encodes each according to the declared type and storage. ASCII output writes one
// element instance per line with the shortest decimal form that reads back to the same
// value of the declared type. Output is buffered in 1 MiB blocks.
#ifndef RPly_Writer_HeaderFile
#define RPly_Writer_HeaderFile

#include <RPly_Types.hxx>

#include <cstdio>

class RPly_EXPORT RPly_Writer
{
public:
  RPly_Writer() = default;
  ~RPly_Writer();
  RPly_Writer(const RPly_Writer&)            = delete;
  RPly_Writer& operator=(const RPly_Writer&) = delete;

  //! Creates (truncates) a file. @return false when it cannot be created.
  bool Create(const std::string& path, const RPly_Storage storage);

  //! Declares an element with a number of instances (>= 0); false after WriteHeader.
  bool AddElement(const std::string& name, const int64_t count);

  //! Declares a scalar property of the last element; false without an element.
  bool AddScalarProperty(const std::string& name, const RPly_Type type);

  //! Declares a list property of the last element; the length type must be an integer.
  bool AddListProperty(const std::string& name, const RPly_Type lengthType, const RPly_Type type);

  //! Adds a "comment" or an "obj_info" line to the header (before WriteHeader).
  bool AddComment(const std::string& text);
  bool AddObjInfo(const std::string& text);

  //! Writes the header. @return false when no file is open or on an I/O error.
  bool WriteHeader();

  //! Writes the next value of the body. Values are converted to the declared type
  //! (integers are truncated and clamped to the type's range, NaN becomes 0).
  //! @return false when all declared values have been written, for a list length that is
  //! not a non-negative integer, or on an I/O error.
  bool Write(const double value);

  //! Flushes and closes the file. @return false on an I/O error or when fewer values than
  //! declared were written.
  bool Close();

  const std::string& Error() const { return m_error; }

private:
  bool fail(const std::string& message);
  bool ioFail();
  bool put(const char* data, const size_t size);
  bool flush();
  bool encode(const double value, const RPly_Type type);
  void nextProperty();
  void skipEmptyElements();

private:
  FILE*                     m_file    = nullptr;
  RPly_Storage              m_storage = RPly_Ascii;
  std::vector<char>         m_buffer;
  size_t                    m_used = 0;
  std::vector<RPly_Element> m_elements;
  std::vector<std::string>  m_comments;
  std::vector<std::string>  m_objInfos;
  std::string               m_error;
  bool                      m_headerWritten = false;
  bool                      m_failed        = false; //!< an I/O error occurred
  // Position in the body: element, instance, property and the list entries still due
  // (-1 while the list length is due).
  size_t  m_element   = 0;
  int64_t m_instance  = 0;
  size_t  m_property  = 0;
  int64_t m_remaining = -1;
};

#endif
