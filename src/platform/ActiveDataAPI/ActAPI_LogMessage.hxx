// One message of an algorithm to its host: a priority, a severity, an English text with
// numbered placeholders and the typed arguments that fill them. A record is built on the
// stack with stream-style appends and handed to a notifier:
//
//   ActAPI_LogMessage msg(LogPriority_Normal, LogSeverity_Warning);
//   msg << "Skipped element with index %1 due to duplication." << 17;
//   progress.SendLogMessage(msg);
#ifndef ActAPI_LogMessage_HeaderFile
#define ActAPI_LogMessage_HeaderFile

#include <ActAPI_Variables.hxx>

#include <NCollection_Sequence.hxx>

#include <string>

enum ActAPI_LogMessagePriority
{
  LogPriority_Normal = 1,
  LogPriority_High   = 2
};

enum ActAPI_LogMessageSeverity
{
  LogSeverity_Info    = 1,
  LogSeverity_Warning = 3,
  LogSeverity_Error   = 4
};

typedef NCollection_Sequence<Handle(ActAPI_VariableBase)> ActAPI_LogArguments;

class ActAPI_EXPORT ActAPI_LogMessage
{
public:
  ActAPI_LogMessage(const int priority = LogPriority_Normal, const int severity = LogSeverity_Info)
      : Priority(priority), Severity(severity), IsTextSet(false), IsMuted(false)
  {
  }

  //! The first text appended becomes the message text; later texts become string arguments.
  ActAPI_LogMessage& operator<<(const TCollection_AsciiString& text);
  ActAPI_LogMessage& operator<<(const char* text) { return *this << TCollection_AsciiString(text); }
  ActAPI_LogMessage& operator<<(const std::string& text) { return *this << text.c_str(); }

  //! Non-text arguments; each raises Standard_ProgramError
  //! ("Message must be initialized first") when no text has been appended yet.
  ActAPI_LogMessage& operator<<(const int value);
  ActAPI_LogMessage& operator<<(const double value);
  ActAPI_LogMessage& operator<<(const bool value);
  ActAPI_LogMessage& operator<<(const Handle(TColStd_HArray1OfReal) & value);
  ActAPI_LogMessage& operator<<(const TopoDS_Shape& value);

  //! Text with every "%N" placeholder replaced by argument N (1-based). Placeholders
  //! without an argument are kept as they stand.
  TCollection_AsciiString Formatted() const;

public:
  int                     Priority;
  int                     Severity;
  TCollection_AsciiString Text;
  ActAPI_LogArguments     Arguments;
  bool                    IsTextSet;
  bool                    IsMuted;

private:
  ActAPI_LogMessage& appendArgument(const Handle(ActAPI_VariableBase) & argument);
};

#endif
