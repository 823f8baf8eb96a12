#include <algoBase_ParallelOptions.hxx>

#include <thread>

algoBase_ParallelOptions::algoBase_ParallelOptions()
    : m_isParallel(true), m_nbThreads(static_cast<int>(std::thread::hardware_concurrency()))
{
  if (m_nbThreads < 1)
  {
    m_nbThreads = 1;
  }
}
