// Progress, messages and cancellation of the wrapping component.
//
// Progress is a stack of scopes: the whole work is the outermost scope, and every scope
// is cut into a number of steps; a new scope covers the next step of its parent, so that
// nested work reports a fraction of the whole without knowing its place in it. Messages
// are kept in the notifier, their texts taken from a resource file when one is loaded.
#ifndef SurfWrap_ProgressNotifier_HeaderFile
#define SurfWrap_ProgressNotifier_HeaderFile

#include <SurfWrap_Export.hxx>

#include <Standard_OStream.hxx>
#include <Standard_Transient.hxx>
#include <TCollection_AsciiString.hxx>

#include <map>
#include <string>
#include <mutex>
#include <vector>

//! Gravity of a message of the wrapping component.
enum SurfWrap_Gravity
{
  SurfWrap_Info,
  SurfWrap_Warning,
  SurfWrap_Fail
};

//! One message: gravity, resource key and the text it resolved to.
struct SurfWrap_Message
{
  SurfWrap_Gravity        Gravity;
  TCollection_AsciiString Key;
  TCollection_AsciiString Text;
};

//! Receives the progress of a wrapping and answers whether to stop. Derived classes bridge
//! it to a host: they implement ProcessEvents() and IsInterrupted(), which the component
//! calls from its worker threads as well, so both must be safe for concurrent calls. The
//! other operations lock the notifier's state and may be called from any thread.
class SurfWrap_EXPORT SurfWrap_ProgressNotifier : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(SurfWrap_ProgressNotifier, Standard_Transient)
public:
  //! @param[in] name  title of the work, printed by Dump(); may be empty
  explicit SurfWrap_ProgressNotifier(const TCollection_AsciiString& name);

  //! Prints the title, the position and the messages, one per line.
  virtual void Dump(Standard_OStream& stream) const;

  //! Forgets the messages and the progress (the loaded resource texts are kept).
  virtual void Clear();

  //! Records a message. Its text is the resource text of `key` when a loaded resource has
  //! one, else the component's English text for its own keys, else `key` itself; each "%1"
  //! in it is replaced by `argument`.
  virtual void NewMessage(const TCollection_AsciiString& key,
                          const SurfWrap_Gravity         gravity,
                          const TCollection_AsciiString& argument = TCollection_AsciiString());

  //! Opens a scope of `nbSteps` steps (at least 1) over the next step of the current scope.
  virtual void NewScope(const int nbSteps, const TCollection_AsciiString& name);

  //! Closes the current scope and opens a sibling with as many steps over the following step
  //! of the parent scope.
  virtual void NextScope();

  //! Closes the current scope: the parent's step it covered counts as done. The outermost
  //! scope is never closed.
  virtual void EndScope();

  //! Counts one step of the current scope as done; steps past its end are ignored.
  virtual void Increment();

  //! Fraction of the whole work done, from 0 to 1.
  virtual double GetPosition() const;

  //! Steps done in the current scope.
  virtual int GetValue() const;

  //! Gives the host a chance to process its own pending events.
  virtual void ProcessEvents() = 0;

  //! Whether the host asked to stop; polled by the component between and inside its phases.
  virtual bool IsInterrupted() = 0;

  //! When on, failures are recorded with the warning gravity. Off by default.
  virtual void TreatErrorAsWarning(const bool isOn);

  //! Loads message texts from a file of lines "key = text"; blank lines and lines starting
  //! with '!' are skipped. Texts of keys already loaded are replaced.
  //! Raises Standard_Failure when the file cannot be read.
  virtual void loadResource(const TCollection_AsciiString& path);

  //! The messages recorded so far, in order.
  std::vector<SurfWrap_Message> Messages() const;

private:
  struct Scope
  {
    double                  start; //!< position of the scope's beginning in the whole work
    double                  span;  //!< fraction of the whole work the scope covers
    int                     nbSteps;
    int                     value;
    TCollection_AsciiString name;
  };

  double positionOf(const Scope& scope) const
  {
    return scope.start + scope.span * scope.value / scope.nbSteps;
  }

private:
  mutable std::mutex                 m_mutex;
  TCollection_AsciiString            m_name;
  std::vector<Scope>                 m_scopes;
  std::vector<SurfWrap_Message>      m_messages;
  std::map<std::string, std::string> m_texts;
  bool                               m_isErrorAsWarning;
};

#endif
