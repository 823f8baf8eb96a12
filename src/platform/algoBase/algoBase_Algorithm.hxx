// Base of the algorithms that may run parallel loops: adds the parallel options to the
// frame of ActAPI_IAlgorithm. Defined inline so that every library deriving from it carries
// its code.
#ifndef algoBase_Algorithm_HeaderFile
#define algoBase_Algorithm_HeaderFile

#include <algoBase_ParallelOptions.hxx>

#include <ActAPI_IAlgorithm.hxx>

class algoBase_Algorithm : public ActAPI_IAlgorithm
{
  DEFINE_STANDARD_RTTI_INLINE(algoBase_Algorithm, ActAPI_IAlgorithm)
public:
  algoBase_Algorithm(ActAPI_ProgressEntry progress, ActAPI_PlotterEntry plotter)
      : ActAPI_IAlgorithm(progress, plotter), m_parallelOptions()
  {
  }

  bool GetParallelMode() const { return m_parallelOptions.GetParallelMode(); }
  int  GetNbThreads() const { return m_parallelOptions.GetNbThreads(); }

  //! Threads a parallel loop of this algorithm may use: the option's count in parallel
  //! mode, 1 otherwise.
  int NbThreadsFor() const { return GetParallelMode() ? GetNbThreads() : 1; }

  //! Options a host may adjust before Perform; the library itself never changes them.
  algoBase_ParallelOptions& ChangeParallelOptions() { return m_parallelOptions; }

protected:
  algoBase_ParallelOptions m_parallelOptions;
};

#endif
