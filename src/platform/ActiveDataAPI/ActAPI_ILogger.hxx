// A sink for log messages, for hosts that keep messages apart from progress.
#ifndef ActAPI_ILogger_HeaderFile
#define ActAPI_ILogger_HeaderFile

#include <ActAPI_LogMessage.hxx>

class ActAPI_EXPORT ActAPI_ILogger : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(ActAPI_ILogger, Standard_Transient)
public:
  //! Receives one message.
  virtual void Send(const ActAPI_LogMessage& message) = 0;
};

#endif
