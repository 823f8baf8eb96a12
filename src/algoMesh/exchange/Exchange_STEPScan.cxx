#include <Exchange_STEPScan.hxx>

#include <Exchange_InputCheck.hxx>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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
    case ',':
      endToken();
      return;
    case '=':
      endToken();
      if (!myLists.empty())
      {
        breakRule("an entity inside the parameters of another", myLists.front().Line);
      }
      return;
    case '(':
      endToken();
      addItem(THE_REFERENCE_WEIGHT);
      myLists.push_back({0.0, 0, myLine});
      return;
    case ')':
      endToken();
      if (myLists.empty())
      {
        breakRule("a parenthesis that closes no list", myLine);
      }
      closeList();
      return;
    case ';':
      endToken();
      if (!myLists.empty())
      {
        breakRule("a record whose parameter list is not closed", myLists.front().Line);
      }
      closeLists();
      return;
    case '\'':
      endToken();
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
  void breakRule(const char* what, const size_t line)
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
    }
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
      if (!std::isfinite(std::strtod(myToken.c_str(), nullptr)))
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
