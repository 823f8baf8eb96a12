// Choice of algorithms and parameters of one wrapping.
#ifndef SurfWrap_WrappingSettings_HeaderFile
#define SurfWrap_WrappingSettings_HeaderFile

#include <Algo_Smoothing.hxx>
#include <SurfWrap_ProgressNotifier.hxx>

#include <string>
#include <vector>

//! Settings read by SurfWrap_API::PerformWrapping. Known algorithm names: voxelization
//! "Algo_VoxelizationGSF", tessellation "Algo_ShrinkWrapping", refinement "Algo_Smoothing";
//! other names make the wrapping fail with a message.
class SurfWrap_EXPORT SurfWrap_WrappingSettings : public Standard_Transient
{
  DEFINE_STANDARD_RTTIEXT(SurfWrap_WrappingSettings, Standard_Transient)
public:
  //! One refinement step, run in the order appended.
  struct Refinement
  {
    std::string                        Name;
    Algo_Smoothing::SmoothingComponent Component;
    int                                NbIterations;
  };

  //! Defaults: the known voxelization and tessellation, one thread, no refinement, Size 0
  //! (which must be set).
  //! @param[in] notifier  the notifier of the wrapping; may be null
  explicit SurfWrap_WrappingSettings(const Handle(SurfWrap_ProgressNotifier) & notifier);

  void               SetVoxelizationAlgorithm(const std::string& name) { m_voxelization = name; }
  const std::string& VoxelizationAlgorithm() const { return m_voxelization; }

  void               SetTessellationAlgorithm(const std::string& name) { m_tessellation = name; }
  const std::string& TessellationAlgorithm() const { return m_tessellation; }

  //! Threads the wrapping may use; values below 1 count as 1.
  void SetNbThreads(const int nbThreads) { m_nbThreads = nbThreads < 1 ? 1 : nbThreads; }
  int  NbThreads() const { return m_nbThreads; }

  //! Appends a refinement step of `nbIterations` iterations.
  void AppendRefinementAlgorithm(const std::string&                       name,
                                 const Algo_Smoothing::SmoothingComponent component,
                                 const int                                nbIterations)
  {
    m_refinements.push_back(Refinement{name, component, nbIterations});
  }
  const std::vector<Refinement>& RefinementAlgorithms() const { return m_refinements; }

  const Handle(SurfWrap_ProgressNotifier) & Notifier() const { return m_notifier; }

public:
  //! Edge length of the voxels, in model units: gaps and holes narrower than about this
  //! close, and the result lies within about this distance of the input where it is
  //! attached. Must be positive and finite.
  double Size;

private:
  Handle(SurfWrap_ProgressNotifier) m_notifier;
  std::string             m_voxelization;
  std::string             m_tessellation;
  std::vector<Refinement> m_refinements;
  int                     m_nbThreads;
};

#endif
