#include <algoMesh_KernelProgress.hxx>

using namespace quorin;

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_KernelProgress, Message_ProgressIndicator)

algoMesh_KernelProgress::algoMesh_KernelProgress(const algoMesh_ProgressScope& scope)
    : m_scope(scope)
{
}

Standard_Boolean algoMesh_KernelProgress::UserBreak()
{
  return m_scope.IsCancelled();
}

void algoMesh_KernelProgress::Show(const Message_ProgressScope&, const Standard_Boolean)
{
  m_scope.SetFraction(GetPosition());
}
