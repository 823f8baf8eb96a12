// Whether an algorithm may run parallel loops, and with how many threads.
#ifndef algoBase_ParallelOptions_HeaderFile
#define algoBase_ParallelOptions_HeaderFile

#include <algoBase_Export.hxx>

class algoBase_EXPORT algoBase_ParallelOptions
{
public:
  //! Parallel work allowed, as many threads as the hardware runs concurrently (at least 1).
  algoBase_ParallelOptions();

  bool GetParallelMode() const { return m_isParallel; }
  int  GetNbThreads() const { return m_nbThreads; }

  void SetParallelMode(const bool isParallel) { m_isParallel = isParallel; }

  //! @param[in] nbThreads  number of threads; values below 1 are taken as 1
  void SetNbThreads(const int nbThreads) { m_nbThreads = nbThreads < 1 ? 1 : nbThreads; }

private:
  bool m_isParallel;
  int  m_nbThreads;
};

#endif
