// Card reader of NASTRAN bulk data: splits a file into records (a keyword and its fields)
// in the three field formats, joining continuation lines.
#ifndef MorvTools_NASParser_HeaderFile
#define MorvTools_NASParser_HeaderFile

#include <TKMorv_Export.hxx>

#include <Message_ProgressIndicator.hxx>
#include <Message_ProgressRange.hxx>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

//! Reads a bulk-data file card by card.
//!
//! Line formats, told apart line by line:
//! - free field: the line holds a comma; fields are separated by commas and trimmed;
//! - small field: keyword in columns 1-8, eight fields of 8 columns in 9-72;
//! - large field: a keyword ending in '*' (and continuation lines starting with '*'): four
//!   fields of 16 columns in 9-72.
//! Columns 73-80 of fixed lines, and a free line's tenth field when it is empty or starts
//! with '+' or '*', are continuation markers and ignored. A free line with more than nine
//! fields after its keyword keeps them all (long free lines are common in hand-written
//! decks). Tabs in fixed lines advance to the next multiple of 8 columns.
//! A line continues the card before it when it starts with '+', '*' or ',' or when its
//! first eight columns are blank; each line adds 8 fields (4 in large format), blanks
//! included, so that field positions stay those of the card layout. Lines starting with
//! '$' and blank lines are skipped, also between a card and its continuations. Keywords
//! are upper-cased; "ENDDATA" ends the file. Cards of the executive and case control
//! sections are returned like any other card (callers ignore keywords they do not know).
//! Line ends LF and CRLF are both read.
//!
//! Cost: one pass over the file through a 1 MiB buffer; no allocation per card once the
//! record has grown to the largest card.
class TKMorv_EXPORT MorvTools_NASParser
{
public:
  //! One card: keyword, fields (2 .. n of the card layout, numbered from 0 here) and the
  //! line it started on. Fields are read in order by the Read* operations, which advance
  //! CurrentFieldNum(), or by position.
  class TKMorv_EXPORT Record
  {
  public:
    //! Same as CheckKeyWord.
    bool operator==(const char* keyword) const { return CheckKeyWord(keyword); }

    //! True when the card's keyword (upper case, without the large-field '*') equals
    //! `keyword`, given in upper case.
    bool CheckKeyWord(const char* keyword) const { return m_keyword == keyword; }

    //! The keyword, upper case, without the large-field '*'.
    const std::string& KeyWord() const { return m_keyword; }

    //! True when the card was written in large-field format.
    bool IsLargeField() const { return m_isLarge; }

    //! Number of the next field the Read* operations take (0-based).
    int CurrentFieldNum() const { return m_current; }

    //! True when every field has been read.
    bool IsEnd() const { return m_current >= NbFields(); }

    //! True when the record has neither keyword nor fields.
    bool IsEmpty() const { return m_keyword.empty() && m_fields.empty(); }

    int  GetNbLine() const { return m_line; }
    void SetNbLine(const int line) { m_line = line; }

    //! Number of fields, blanks included.
    int NbFields() const { return static_cast<int>(m_fields.size()); }

    //! Field `index` trimmed (empty past the end).
    std::string_view Field(const int index) const;

    //! Reads the next field as an integer; a blank field gives `blankValue` when
    //! `isBlankAllowed`. False for a missing, blank (not allowed) or malformed field.
    bool ReadInteger(int& value, const bool isBlankAllowed = false, const int blankValue = 0);

    //! Reads the next field as a real (NASTRAN forms included: "1.5-3", "2.+4", "1.D2");
    //! a blank field gives 0. False for a malformed or non-finite value.
    bool ReadReal(double& value);

    //! Skips `count` fields.
    void Skip(const int count = 1) { m_current += count; }

    //! Forgets everything (keeps the memory).
    void Clear();

    //! Building, for the parser.
    void SetKeyWord(std::string_view keyword, const bool isLarge);
    void AddField(std::string_view text);
    void AddBlankFields(const int count);
    void Truncate(const int nbFields) { m_fields.resize(std::min(nbFields, NbFields())); }

  private:
    std::string                      m_keyword;
    std::string                      m_text;   //!< trimmed field texts, one after another
    std::vector<std::pair<int, int>> m_fields; //!< offset and length of each field in m_text
    int                              m_current = 0;
    int                              m_line    = 0;
    bool                             m_isLarge = false;
  };

public:
  MorvTools_NASParser();

  virtual ~MorvTools_NASParser();

  //! Receives a message about the line given; the default writes it to the standard error.
  virtual void SendMessage(const char* text, const int line);

  //! Sends a message about the current line.
  void SendMessage(const char* text) { SendMessage(text, GetNbLine()); }

  //! Number of the last line read (1-based).
  int GetNbLine() const { return m_nbLine; }

  //! The indicator progress and cancellation go to (may stay null).
  Handle(Message_ProgressIndicator) & ProgressIndicator() { return m_indicator; }

  //! Opens a file for reading. False (with a message) when it cannot be opened.
  bool Open(const char* path);

  //! Size of the opened file in bytes.
  long long FileSize() const { return m_fileSize; }

  //! Bytes consumed so far.
  long long Position() const { return m_consumed; }

  //! Reads the next card into `record`. An INCLUDE statement is followed: the cards of the
  //! file it names (relative to the including file's folder) come in its place.
  //! @return false at the end of the file, at "ENDDATA", or on a read error
  bool NextRecord(Record& record);

  //! True when reading stopped on an error (an INCLUDE that cannot be followed), which
  //! was sent as a message.
  bool HasFailed() const { return m_hasFailed; }

  //! The included file that the last record came from, as its INCLUDE named it joined to
  //! the including folder; empty for the file opened.
  const std::string& RecordSource() const { return m_sources[m_recordSource]; }

  //! Index of RecordSource() among the files read so far (0 for the file opened), to
  //! name it again later with SetRecordSource.
  int RecordSourceIndex() const { return m_recordSource; }

  //! Makes RecordSource() tell the file of index `source`, for a message about a card
  //! read before.
  void SetRecordSource(const int source) { m_recordSource = source; }

  //! Closes the file.
  void Close();

  //! Parses a whole integer field (trimmed text). False for anything else.
  static bool ParseInteger(std::string_view text, int& value);

  //! Parses a real field in NASTRAN or C notation. False for anything else, non-finite
  //! values included.
  static bool ParseReal(std::string_view text, double& value);

private:
  //! Next line without its end, or false at the end of the file.
  bool readLine(std::string_view& line);

  //! Next line that is neither blank nor a comment.
  bool readCardLine(std::string_view& line);

  //! Appends the fields of one line; `isFirst` takes the keyword from it.
  void addLine(std::string_view line, const bool isFirst, Record& record);

  //! Opens the file an INCLUDE line names in place of the current one; false (with a
  //! message) when it cannot be followed.
  bool followInclude(std::string_view content);

  //! Closes an included file at its end and goes back to the file that included it.
  void endInclude();

  //! Sends a message about the current line of the current file and stops reading.
  bool failInclude(const std::string& text);

  MorvTools_NASParser(const MorvTools_NASParser&)            = delete;
  MorvTools_NASParser& operator=(const MorvTools_NASParser&) = delete;

private:
  Handle(Message_ProgressIndicator) m_indicator;
  FILE*             m_file = nullptr;
  std::vector<char> m_buffer;
  size_t            m_begin    = 0;
  size_t            m_end      = 0;
  bool              m_isEof    = false;
  long long         m_fileSize = 0;
  long long         m_consumed = 0;
  int               m_nbLine   = 0;
  std::string_view  m_pending; //!< a line read ahead, not yet used
  int               m_pendingLine = 0;
  bool              m_hasPending  = false;
  bool              m_isDone      = false;
  std::string       m_expanded; //!< a fixed line with its tabs expanded

  //! A file whose reading waits for the file it includes.
  struct Including
  {
    FILE*             File = nullptr;
    std::vector<char> Buffer;
    size_t            Begin  = 0;
    size_t            End    = 0;
    bool              IsEof  = false;
    int               NbLine = 0;
    int               Source = 0; //!< index in m_sources
    std::string       Identity;   //!< canonical path, to recognise a cycle
  };
  std::vector<Including>   m_including;              //!< outermost first
  std::vector<std::string> m_sources{std::string()}; //!< files read, as RecordSource() tells
  int                      m_source = 0;             //!< the current file in m_sources
  std::string              m_openedPath;             //!< the file opened, as given
  std::string              m_identity;               //!< canonical path of the current file
  int                      m_recordSource  = 0;      //!< the file of the last record's first line
  int                      m_pendingSource = 0;      //!< the file of the line read ahead
  int                      m_nbIncludes    = 0;
  long long                m_nbIncluded    = 0; //!< bytes of the included files
  bool                     m_hasFailed     = false;
};

#endif
