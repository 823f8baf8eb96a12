// Wrapping settings.
#include <SurfWrap_WrappingSettings.hxx>

IMPLEMENT_STANDARD_RTTIEXT(SurfWrap_WrappingSettings, Standard_Transient)

SurfWrap_WrappingSettings::SurfWrap_WrappingSettings(const Handle(SurfWrap_ProgressNotifier) &
                                                     notifier)
    : Size(0.0), m_notifier(notifier), m_voxelization("Algo_VoxelizationGSF"),
      m_tessellation("Algo_ShrinkWrapping"), m_nbThreads(1)
{
}
