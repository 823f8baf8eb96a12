#include <Exchange_STEPScan.hxx>

#include <Exchange_InputCheck.hxx>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <sys/stat.h>

namespace quorin
{

namespace
{

//! Weight of a reference or a nested list in the item count of its list: the parser spends
//! about ten times the work of a plain value on each (its square root is taken, since the
//! work grows with the square of the count).
const double THE_REFERENCE_WEIGHT = 3.0;

//! Characters of a plain value kept for reading it as a real: enough for any real written
//! with all its digits.
const size_t THE_TOKEN_PREFIX = 64;

//! Lexical items of STEP text, as the record grammar sees them.
enum class Item
{
  Keyword,   //!< an entity type or section keyword
  Name,      //!< an entity name, `#` and digits: a record's own or a reference
  Value,     //!< a number, string, enumeration, binary, `$` or `*`
  Open,      //!< `(`
  Close,     //!< `)`
  Comma,     //!< `,`
  Equals,    //!< `=`
  Semicolon, //!< `;`
  Malformed  //!< a plain value of no lexical kind
};

//! The record grammar, one item at a time. A statement is a section keyword and `;`, a
//! keyword with its parameters and `;` (the header's records), or an entity name, `=`,
//! then a keyword with its parameters or a parenthesised sequence of them (a complex
//! entity), and `;`. Parameters are values, references, typed values (a keyword and a
//! parenthesised parameter) and nested lists, separated by commas. The kernel's parser
//! recovers from text outside this grammar with records that it later reads without
//! setting them, so every departure is refused before it sees the file.
class RecordGrammar
{
public:
  //! @return false when the item cannot stand where it is
  bool Take(const Item item)
  {
    switch (myExpect)
    {
    case Expect::Statement:
      return item == Item::Keyword ? go(Expect::KeywordStatement)
             : item == Item::Name  ? go(Expect::Equals)
                                   : false;
    case Expect::KeywordStatement:
      return item == Item::Semicolon ? go(Expect::Statement) : item == Item::Open && open();
    case Expect::Equals:
      return item == Item::Equals && go(Expect::EntityType);
    case Expect::EntityType:
      if (item == Item::Open)
      {
        myIsComplex = true;
        return go(Expect::ComplexPart);
      }
      return item == Item::Keyword && go(Expect::Parameters);
    case Expect::Parameters:
      return item == Item::Open && open();
    case Expect::ComplexPart:
      if (item == Item::Close)
      {
        myIsComplex = false;
        return go(Expect::StatementEnd);
      }
      return item == Item::Keyword && go(Expect::Parameters);
    case Expect::FirstParameter:
      if (item == Item::Close)
      {
        return close();
      }
      return takeParameter(item);
    case Expect::Parameter:
      return takeParameter(item);
    case Expect::SeparatorOrClose:
      return item == Item::Comma ? go(Expect::Parameter) : item == Item::Close && close();
    case Expect::StatementEnd:
      return item == Item::Semicolon && go(Expect::Statement);
    }
    return false;
  }

  //! True when the items so far end with a complete statement.
  bool IsBetweenStatements() const { return myExpect == Expect::Statement; }

private:
  enum class Expect
  {
    Statement,
    KeywordStatement, //!< after a keyword opening a statement: `;` or its parameters
    Equals,
    EntityType,
    Parameters, //!< the `(` after an entity type or a typed value's keyword
    ComplexPart,
    FirstParameter,
    Parameter,
    SeparatorOrClose,
    StatementEnd
  };

  bool go(const Expect next)
  {
    myExpect = next;
    return true;
  }

  bool open()
  {
    ++myDepth;
    return go(Expect::FirstParameter);
  }

  bool close()
  {
    --myDepth;
    return go(myDepth > 0   ? Expect::SeparatorOrClose
              : myIsComplex ? Expect::ComplexPart
                            : Expect::StatementEnd);
  }

  bool takeParameter(const Item item)
  {
    switch (item)
    {
    case Item::Value:
    case Item::Name:
      return go(Expect::SeparatorOrClose);
    case Item::Open:
      return open();
    case Item::Keyword:
      return go(Expect::Parameters);
    default:
      return false;
    }
  }

  Expect myExpect    = Expect::Statement;
  size_t myDepth     = 0;
  bool   myIsComplex = false;
};

//! The lexical kind of a plain value, decided character by character so that values of
//! any length are classified exactly: keywords (letters, digits, `_`, `-`; a user-defined
//! one starts with `!`), entity names, integers and reals as the exchange format writes
//! them, enumerations between dots, binaries between double quotes, `$` and `*`.
class TokenShape
{
public:
  void Reset()
  {
    myLength    = 0;
    myIsKeyword = myIsName = true;
    myNumber               = Number::Start;
    myHasDigit             = false;
    myEnumeration          = Dotted::Start;
    myBinary               = Dotted::Start;
    myFirst                = '\0';
  }

  void Extend(const char c)
  {
    const bool isAlpha = std::isalpha(static_cast<unsigned char>(c)) != 0;
    const bool isDigit = std::isdigit(static_cast<unsigned char>(c)) != 0;
    if (myLength == 0)
    {
      myFirst     = c;
      myIsKeyword = isAlpha || c == '_' || c == '!';
      myIsName    = c == '#';
    }
    else
    {
      myIsKeyword = myIsKeyword && (isAlpha || isDigit || c == '_' || c == '-');
      myIsName    = myIsName && isDigit;
    }
    extendNumber(c, isDigit);
    myEnumeration = extendDotted(myEnumeration, c, '.', isAlpha || isDigit || c == '_');
    myBinary      = extendDotted(myBinary, c, '"', std::isxdigit(static_cast<unsigned char>(c)));
    ++myLength;
  }

  Item Kind() const
  {
    if (myIsKeyword)
    {
      return Item::Keyword;
    }
    if (myIsName && myLength > 1)
    {
      return Item::Name;
    }
    const bool isNumber =
        (myNumber == Number::Mantissa && myHasDigit) || myNumber == Number::Exponent;
    const bool isSymbol = myLength == 1 && (myFirst == '$' || myFirst == '*');
    return isNumber || isSymbol || myEnumeration == Dotted::Closed || myBinary == Dotted::Closed
               ? Item::Value
               : Item::Malformed;
  }

private:
  enum class Number
  {
    Start,
    Sign,
    Mantissa,
    E,
    ExponentSign,
    Exponent,
    None
  };

  enum class Dotted
  {
    Start,
    Inside,
    Closed,
    None
  };

  // Digits and dots after an optional sign, then an optional exponent: the shapes the
  // kernel's scanner reads as numbers (it takes ".5" and "1." as reals too).
  void extendNumber(const char c, const bool isDigit)
  {
    const bool isSign = c == '+' || c == '-';
    switch (myNumber)
    {
    case Number::Start:
    case Number::Mantissa:
      if (isDigit || c == '.')
      {
        myHasDigit = myHasDigit || isDigit;
        myNumber   = Number::Mantissa;
      }
      else if (myNumber == Number::Start && isSign)
      {
        myNumber = Number::Sign;
      }
      else
      {
        myNumber = (c == 'E' || c == 'e') && myHasDigit ? Number::E : Number::None;
      }
      break;
    case Number::Sign:
      myHasDigit = isDigit;
      myNumber   = isDigit || c == '.' ? Number::Mantissa : Number::None;
      break;
    case Number::E:
      myNumber = isDigit ? Number::Exponent : isSign ? Number::ExponentSign : Number::None;
      break;
    case Number::ExponentSign:
    case Number::Exponent:
      myNumber = isDigit ? Number::Exponent : Number::None;
      break;
    case Number::None:
      break;
    }
  }

  static Dotted extendDotted(const Dotted state, const char c, const char mark, const bool isInner)
  {
    switch (state)
    {
    case Dotted::Start:
      return c == mark ? Dotted::Inside : Dotted::None;
    case Dotted::Inside:
      return c == mark ? Dotted::Closed : isInner ? Dotted::Inside : Dotted::None;
    default:
      return Dotted::None;
    }
  }

  size_t myLength      = 0;
  bool   myIsKeyword   = true;
  bool   myIsName      = true;
  Number myNumber      = Number::Start;
  bool   myHasDigit    = false;
  Dotted myEnumeration = Dotted::Start;
  Dotted myBinary      = Dotted::Start;
  char   myFirst       = '\0';
};

//! One pass over STEP text, character by character: values (plain tokens, strings and
//! comments), the item counts of open lists, and the estimated work so far.
class ParseCostScanner
{
public:
  explicit ParseCostScanner(const double budget) : myBudget(budget) {}

  //! Takes the next character. @return false once the estimate exceeds the budget or the
  //! text breaks the record syntax
  bool Feed(const char c)
  {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
    {
      breakRule("a control character", myLine);
    }
    switch (myState)
    {
    case State::String:
      ++myValueLength;
      myState = c == '\'' ? State::StringQuote : State::String;
      break;
    case State::StringQuote:
      if (c == '\'') // a doubled quote stands for one quote inside the string
      {
        ++myValueLength;
        myState = State::String;
        break;
      }
      endValue("a string");
      myState = State::Between;
      feedOutsideValue(c);
      break;
    case State::Comment:
      ++myValueLength;
      myState = c == '*' ? State::CommentStar : State::Comment;
      break;
    case State::CommentStar:
      ++myValueLength;
      if (c == '/')
      {
        endValue("a comment");
        myState = State::Between;
      }
      else if (c != '*')
      {
        myState = State::Comment;
      }
      break;
    case State::Between:
    case State::Token:
      feedOutsideValue(c);
      break;
    }
    if (c == '\n')
    {
      ++myLine;
    }
    return myCost <= myBudget && !myIsBroken;
  }

  //! Ends the open value and lists at the end of the text. @return false over budget
  bool Finish()
  {
    if (mySlash)
    {
      extendToken('/');
    }
    // A quote too many turns the rest of the file inside out; the parser recovers from the
    // string left open at the end as from an unpaired parenthesis.
    if (myState == State::String)
    {
      breakRule("a string that is not closed", myValueLine);
    }
    else if (myState == State::Comment || myState == State::CommentStar)
    {
      breakRule("a comment that is not closed", myValueLine);
    }
    endValue(myState == State::Token                                     ? "a value"
             : myState == State::String || myState == State::StringQuote ? "a string"
                                                                         : "a comment");
    if (!myLists.empty())
    {
      breakRule("a record whose parameter list is not closed", myLists.front().Line);
    }
    if (!myGrammar.IsBetweenStatements())
    {
      breakRule("a record that is not ended", myLine);
    }
    closeLists();
    return myCost <= myBudget && !myIsBroken;
  }

  //! True when the text breaks the record syntax.
  bool IsBroken() const { return myIsBroken; }

  //! The largest contributor, or the break of the syntax, in words with its line.
  std::string Largest() const { return myLargest + " on line " + std::to_string(myLargestLine); }

private:
  enum class State
  {
    Between,     //!< between values
    Token,       //!< inside a plain value (number, keyword, reference, enumeration)
    String,      //!< inside a quoted string
    StringQuote, //!< a quote inside a string: its end, or the first of a doubled quote
    Comment,     //!< inside /* */
    CommentStar  //!< a star inside a comment, perhaps its end
  };

  struct List
  {
    double Weight  = 0.0;
    size_t NbItems = 0;
    size_t Line    = 0;
  };

  void feedOutsideValue(const char c)
  {
    if (mySlash)
    {
      mySlash = false;
      if (c == '*')
      {
        endToken();
        myState       = State::Comment;
        myValueLength = 2;
        myValueLine   = myLine;
        return;
      }
      extendToken('/');
    }
    switch (c)
    {
    case '/':
      mySlash = true; // a comment opens only if a star follows
      return;
    case ' ':
    case '\t':
    case '\r':
    case '\n':
      endToken();
      return;
    case ',':
      endToken();
      takeItem(Item::Comma, "comma", myLine);
      return;
    case '=':
      endToken();
      if (!myLists.empty())
      {
        breakRule("an entity inside the parameters of another", myLists.front().Line);
      }
      takeItem(Item::Equals, "equals sign", myLine);
      return;
    case '(':
      endToken();
      addItem(THE_REFERENCE_WEIGHT);
      myLists.push_back({0.0, 0, myLine});
      takeItem(Item::Open, "opening parenthesis", myLine);
      return;
    case ')':
      endToken();
      if (myLists.empty())
      {
        breakRule("a parenthesis that closes no list", myLine);
      }
      closeList();
      takeItem(Item::Close, "closing parenthesis", myLine);
      return;
    case ';':
      endToken();
      if (!myLists.empty())
      {
        breakRule("a record whose parameter list is not closed", myLists.front().Line);
      }
      closeLists();
      takeItem(Item::Semicolon, "semicolon", myLine);
      return;
    case '\'':
      endToken();
      takeItem(Item::Value, "string", myLine);
      addItem(1.0);
      myState       = State::String;
      myValueLength = 1;
      myValueLine   = myLine;
      return;
    default:
      extendToken(c);
    }
  }

  //! Records the first break of the record syntax: the kernel's parser recovers from such
  //! text with records that it later reads without setting them (a hang on a reused heap).
  void breakRule(const std::string& what, const size_t line)
  {
    if (!myIsBroken)
    {
      myIsBroken    = true;
      myLargest     = what;
      myLargestLine = line;
    }
  }

  void extendToken(const char c)
  {
    if (myState != State::Token)
    {
      addItem(c == '#' ? THE_REFERENCE_WEIGHT : 1.0);
      myState       = State::Token;
      myValueLength = 0;
      myValueLine   = myLine;
      myToken.clear();
      myShape.Reset();
    }
    myShape.Extend(c);
    ++myValueLength;
    if (myToken.size() < THE_TOKEN_PREFIX)
    {
      myToken.push_back(c);
    }
  }

  void endToken()
  {
    if (myState == State::Token)
    {
      checkReal();
      endValue("a value");
      myState = State::Between;
      takeItem(myShape.Kind(), "value", myValueLine);
    }
  }

  //! Checks the item's place in the record grammar; `what` names it in the message.
  void takeItem(const Item item, const char* what, const size_t line)
  {
    if (item == Item::Malformed)
    {
      breakRule("a malformed value", line);
    }
    else if (!myGrammar.Take(item))
    {
      breakRule(std::string("a misplaced ") + what, line);
    }
  }

  //! A real beyond the double range, or a word the kernel's number conversion takes for an
  //! infinity or NaN ("Infinity", "NaN"), becomes a coordinate that is not finite, on which
  //! the kernel's shape processing loops.
  void checkReal()
  {
    const char first = myToken.empty() ? ' ' : myToken.front();
    char*      stop  = nullptr;
    if (std::isdigit(static_cast<unsigned char>(first)) || first == '-' || first == '+' ||
        first == '.')
    {
      // Beyond the range every mesh format holds, a coordinate also keeps the kernel's
      // shape repair projecting curves without end (4e38 did).
      if (!Exchange_InputCheck::IsValidCoordinate(std::strtod(myToken.c_str(), nullptr)))
      {
        breakRule("a real out of range", myValueLine);
      }
    }
    else if (std::isalpha(static_cast<unsigned char>(first)) && myValueLength == myToken.size() &&
             !std::isfinite(std::strtod(myToken.c_str(), &stop)) && *stop == '\0')
    {
      // Only a whole word: keywords may start with "INF" or "NAN".
      breakRule("a value that is not a finite number", myValueLine);
    }
  }

  void addItem(const double weight)
  {
    if (!myLists.empty())
    {
      myLists.back().Weight += weight;
      ++myLists.back().NbItems;
    }
  }

  void endValue(const char* kind)
  {
    const double length = static_cast<double>(myValueLength);
    add(Exchange_STEPScan::THE_VALUE_WEIGHT * length * length,
        std::string(kind) + " of " + std::to_string(myValueLength) + " characters", myValueLine);
    myValueLength = 0;
  }

  void closeList()
  {
    if (myLists.empty())
    {
      return;
    }
    const List list = myLists.back();
    myLists.pop_back();
    add(list.Weight * list.Weight, "a list of " + std::to_string(list.NbItems) + " items",
        list.Line);
  }

  void closeLists()
  {
    while (!myLists.empty())
    {
      closeList();
    }
  }

  void add(const double cost, const std::string& what, const size_t line)
  {
    myCost += cost;
    if (cost > myLargestCost && !myIsBroken)
    {
      myLargestCost = cost;
      myLargest     = what;
      myLargestLine = line;
    }
  }

  double            myBudget;
  bool              myIsBroken    = false;
  double            myCost        = 0.0;
  double            myLargestCost = -1.0;
  std::string       myLargest;
  size_t            myLargestLine = 0;
  State             myState       = State::Between;
  bool              mySlash       = false;
  size_t            myValueLength = 0;
  size_t            myValueLine   = 0;
  std::string       myToken; //!< the first characters of the current plain value
  size_t            myLine = 1;
  std::vector<List> myLists;
  TokenShape        myShape;
  RecordGrammar     myGrammar;
};

} // namespace

bool Exchange_STEPScan::CheckParseCost(const std::string& path, std::string& reason)
{
  if (!Exchange_InputCheck::CheckRegularFile(path, ~std::uintmax_t(0), reason))
  {
    return false;
  }
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  struct stat                           status;
  if (!file || ::fstat(::fileno(file.get()), &status) != 0)
  {
    reason = "it cannot be opened";
    return false;
  }
  const double budget = THE_BASE_BUDGET + THE_BUDGET_PER_BYTE * static_cast<double>(status.st_size);
  ParseCostScanner  scanner(budget);
  std::vector<char> chunk(size_t(1) << 20);
  bool              isWithinBudget = true;
  // A byte-order mark is no part of the text: the reader hands the kernel the file without it.
  char head[3] = {};
  if (std::fread(head, 1, 3, file.get()) != 3 || std::memcmp(head, "\xEF\xBB\xBF", 3) != 0)
  {
    std::rewind(file.get());
  }
  for (size_t n = 0;
       isWithinBudget && (n = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0;)
  {
    for (size_t k = 0; k < n && isWithinBudget; ++k)
    {
      isWithinBudget = scanner.Feed(chunk[k]);
    }
  }
  if (std::ferror(file.get()))
  {
    reason = "input/output error";
    return false;
  }
  isWithinBudget = isWithinBudget && scanner.Finish();
  if (scanner.IsBroken())
  {
    reason = "it has " + scanner.Largest();
    return false;
  }
  if (!isWithinBudget)
  {
    reason = "it has " + scanner.Largest() + ", too long to read in reasonable time";
    return false;
  }
  return true;
}

} // namespace quorin
