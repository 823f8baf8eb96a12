// NASTRAN bulk-data reader that builds a mesh data model mesh.
#ifndef MorvTools_NASMeshReader_HeaderFile
#define MorvTools_NASMeshReader_HeaderFile

#include <MorvDS_Mesh.hxx>
#include <MorvTools_NASBaseReader.hxx>

#include <map>

//! Builds a MorvDS_Mesh from the cards MorvTools_NASBaseReader reads: grid points become
//! nodes and elements become elements, both with the file's numbers. A new empty mesh is
//! made at construction; SetMesh gives another one to fill.
//!
//! With ModeCreateGroups on, the element numbers are also gathered by property ID (PID),
//! one group per PID in increasing PID order.
class TKMorv_EXPORT MorvTools_NASMeshReader : public MorvTools_NASBaseReader
{
public:
  MorvTools_NASMeshReader();

  const Handle(MorvDS_Mesh) & GetMesh() const { return m_mesh; }
  void SetMesh(Handle(MorvDS_Mesh) & mesh) { m_mesh = mesh; }

  //! Whether element groups by property ID are made (off by default).
  bool& ModeCreateGroups() { return m_isCreatingGroups; }

  //! Number of groups made.
  int NbGroups() const { return static_cast<int>(m_groups.size()); }

  //! Element numbers of each group, by property ID.
  const std::map<int, std::vector<int>>& Groups() const { return m_groups; }

  bool AddNode(const gp_Pnt& point, const int id) override;
  bool AddEdge(const int id, const int pid, const int n1, const int n2) override;
  bool AddTrianFace(const int id, const int pid, const int n1, const int n2, const int n3) override;
  bool AddQuadFace(
      const int id, const int pid, const int n1, const int n2, const int n3, const int n4) override;
  bool AddTetrVolume(
      const int id, const int pid, const int n1, const int n2, const int n3, const int n4) override;
  bool AddPyramVolume(const int id,
                      const int pid,
                      const int n1,
                      const int n2,
                      const int n3,
                      const int n4,
                      const int n5) override;
  bool AddPentVolume(const int id,
                     const int pid,
                     const int n1,
                     const int n2,
                     const int n3,
                     const int n4,
                     const int n5,
                     const int n6) override;
  bool AddHexVolume(const int id,
                    const int pid,
                    const int n1,
                    const int n2,
                    const int n3,
                    const int n4,
                    const int n5,
                    const int n6,
                    const int n7,
                    const int n8) override;
  bool HasNode(const int id) const override;
  bool GetNodePosition(const int id, gp_XYZ& position) const override;

private:
  //! Records an added element in its group; answers `isAdded`.
  bool group(const bool isAdded, const int id, const int pid);

private:
  Handle(MorvDS_Mesh) m_mesh;
  bool                            m_isCreatingGroups = false;
  std::map<int, std::vector<int>> m_groups;
};

#endif
