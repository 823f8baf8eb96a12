// Base of every algorithm object: keeps the progress and plotter entries it was built with
// for its whole lifetime.
#ifndef ActAPI_IAlgorithm_HeaderFile
#define ActAPI_IAlgorithm_HeaderFile

#include <ActAPI_PlotterEntry.hxx>
#include <ActAPI_ProgressEntry.hxx>

class ActAPI_EXPORT ActAPI_IAlgorithm : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(ActAPI_IAlgorithm, Standard_Transient)
public:
  virtual ~ActAPI_IAlgorithm() = default;

  const ActAPI_ProgressEntry& GetProgress() const { return m_progress; }
  const ActAPI_PlotterEntry&  GetPlotter() const { return m_plotter; }

protected:
  ActAPI_IAlgorithm(ActAPI_ProgressEntry progress, ActAPI_PlotterEntry plotter)
      : m_progress(progress), m_plotter(plotter)
  {
  }

protected:
  ActAPI_ProgressEntry m_progress;
  ActAPI_PlotterEntry  m_plotter;
};

#endif
