// Writes NASTRAN bulk-data cards in free, small or large field format.
#ifndef MorvTools_NASFormatter_HeaderFile
#define MorvTools_NASFormatter_HeaderFile

#include <TKMorv_Export.hxx>

#include <fstream>
#include <string>

//! Card writer. A card is written as a sequence of values: the first string after the end
//! of a card is its keyword, every later value one field, and the EndCard manipulator ends
//! it: `formatter << "GRID" << 7 << "" << 1.5 << 0.0 << -2.0 << MorvTools_NASFormatter::EndCard;`
//!
//! Field-format type (Type()):
//! - 0, free field: fields separated by commas, eight per line; a continuation line starts
//!   with "+,": `GRID,7,,1.5,0.,-2.`
//! - 1, small field: keyword and fields left-aligned in 8 columns, eight fields per line;
//!   continuation lines start with "+" in an 8-column field:
//!   `GRID    7               1.5     0.      -2.`
//! - 2 (the default), large field: keyword followed by '*' in 8 columns, fields
//!   left-aligned in 16 columns, four per line; continuation lines start with "*":
//!   `GRID*   7                               1.5             0.`
//!   `*       -2.`
//! Trailing blanks are cut from every line.
//!
//! Reals always carry a decimal point and take the form, plain or with an exponent, that
//! keeps the most significant digits in the field (on a tie the shorter): exponents are
//! written without "E" and without leading zeros ("1.2345-7", "6.02+23"), as NASTRAN reads
//! them. Free-field reals are the shortest text that reads back as the same double.
//! Integers are written in full. A value too long for its field is reported through
//! SendMessage and makes Close fail.
class TKMorv_EXPORT MorvTools_NASFormatter
{
public:
  //! Manipulator: a function applied by operator<<.
  typedef MorvTools_NASFormatter& (*Manipulator)(MorvTools_NASFormatter&);

  MorvTools_NASFormatter();

  virtual ~MorvTools_NASFormatter();

  //! Receives a problem of the writing; the default writes it to the standard error.
  virtual void SendMessage(const char* text);

  //! Field-format type: 0 free, 1 small, 2 large.
  int& Type() { return m_type; }

  //! Creates (or truncates) the output file. False when it cannot be opened.
  bool Open(const char* path);

  MorvTools_NASFormatter& operator<<(const int value) { return AddInteger(value); }
  MorvTools_NASFormatter& operator<<(const double value) { return AddReal(value); }
  MorvTools_NASFormatter& operator<<(const char* value) { return AddString(value); }
  MorvTools_NASFormatter& operator<<(Manipulator manipulator) { return manipulator(*this); }

  MorvTools_NASFormatter& AddInteger(const int value);
  MorvTools_NASFormatter& AddReal(const double value);

  //! The keyword when no card is open; a field otherwise ("" gives a blank field).
  MorvTools_NASFormatter& AddString(const char* value);

  //! Writes "$ ", the text and a newline (ends an open card first).
  void AddComment(const char* text);

  //! Writes a line as it stands, such as "BEGIN BULK" (ends an open card first).
  void AddLine(const char* text);

  //! Ends the open card (manipulator).
  static MorvTools_NASFormatter& EndCard(MorvTools_NASFormatter& formatter);

  //! Number of cards written.
  int NbCards() const { return m_nbCards; }

  //! Flushes and closes the file.
  //! @return true when every write succeeded and every value fitted its field
  bool Close();

  //! Text of a real in a field of `width` columns (8 or 16), or in free format for
  //! width 0, as described above; empty when it cannot fit.
  static std::string FormatReal(const double value, const int width);

private:
  //! Appends one field text to the open card.
  void addField(const char* text, const size_t length);

  //! Writes the open card's current line.
  void flushLine();

private:
  std::ofstream m_stream;
  std::string   m_line;
  int           m_type;
  int           m_nbCards;
  int           m_nbFields; //!< fields on the current line of the open card; -1 when none
  bool          m_isFailed;
};

#endif
