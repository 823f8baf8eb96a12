// Interpretation of NASTRAN bulk-data cards: grid points and the elements of a mesh.
#ifndef MorvTools_NASBaseReader_HeaderFile
#define MorvTools_NASBaseReader_HeaderFile

#include <MorvTools_NASParser.hxx>

#include <gp_Pnt.hxx>
#include <gp_XYZ.hxx>

#include <unordered_map>
#include <vector>

//! Reads the grid points and elements of a bulk-data file and hands them to callbacks,
//! which a derived class implements to build its mesh.
//!
//! Cards read (fields after the keyword):
//! - GRID: ID, CP, X1, X2, X3, CD, PS, SEID. Blank coordinates are 0. The coordinates are
//!   taken as given: coordinate systems (CP) are not applied.
//! - edges: CBAR, CBEAM, CROD (EID, PID, GA, GB);
//! - faces: CTRIA3, CTRIAR, CTRIA6 (EID, PID, G1 .. G3); CQUAD4, CQUADR, CQUAD8 (EID, PID,
//!   G1 .. G4);
//! - volumes: CTETRA (EID, PID, G1 .. G4), CPYRAM (G1 .. G5), CPENTA (G1 .. G6), CHEXA
//!   (G1 .. G8).
//! Second-order elements keep their corner nodes only (the first grid points of the card).
//! A blank PID is 0. Every other card is ignored.
//!
//! Grid points go to AddNode as they are read; elements are kept and handed to their
//! callbacks in file order once the whole file is read, so that an element may come
//! before the grid points it uses, as bulk data allows.
//!
//! Failures, each reported through SendMessage with the line of the card, end the reading
//! with false: a missing or malformed ID, coordinate or grid point number, a callback that
//! refuses its item (a repeated number, a grid point that does not exist, the same grid
//! point twice in an element), a file that cannot be opened, and cancellation through the
//! progress indicator.
class TKMorv_EXPORT MorvTools_NASBaseReader : public MorvTools_NASParser
{
public:
  MorvTools_NASBaseReader();

  //! PS (permanent single-point constraints) of a grid point, or the default PS when its
  //! card gave none.
  int GetPS(const int node) const;

  //! Superelement ID of a grid point, or the default SEID.
  int GetSEID(const int node) const;

  //! Values answered for grid points without PS or SEID (0 by default).
  int& DefaultPS() { return m_defaultPS; }
  int& DefaultSEID() { return m_defaultSEID; }

  //! Reads the file opened by Open, reporting progress over its bytes to `range`.
  //! @return false on a failure listed above
  bool ReadFile(const Message_ProgressRange& range = Message_ProgressRange());

  //! @name Callbacks; each answers whether it accepted the item. The defaults do nothing
  //! and answer false.
  //! @{
  virtual bool AddNode(const gp_Pnt& point, const int id);
  virtual bool AddEdge(const int id, const int pid, const int n1, const int n2);
  virtual bool AddTrianFace(const int id, const int pid, const int n1, const int n2, const int n3);
  virtual bool
  AddQuadFace(const int id, const int pid, const int n1, const int n2, const int n3, const int n4);
  virtual bool AddTetrVolume(
      const int id, const int pid, const int n1, const int n2, const int n3, const int n4);
  virtual bool AddPyramVolume(const int id,
                              const int pid,
                              const int n1,
                              const int n2,
                              const int n3,
                              const int n4,
                              const int n5);
  virtual bool AddPentVolume(const int id,
                             const int pid,
                             const int n1,
                             const int n2,
                             const int n3,
                             const int n4,
                             const int n5,
                             const int n6);
  virtual bool AddHexVolume(const int id,
                            const int pid,
                            const int n1,
                            const int n2,
                            const int n3,
                            const int n4,
                            const int n5,
                            const int n6,
                            const int n7,
                            const int n8);
  virtual bool HasNode(const int id) const;
  virtual bool GetNodePosition(const int id, gp_XYZ& position) const;
  //! @}

private:
  //! Reads one GRID card.
  bool readGrid(Record& record);

  //! Keeps one element card of `nbNodes` grid points of kind `kind`.
  bool keepElement(Record& record, const int kind, const int nbNodes);

  //! Hands the kept elements to their callbacks.
  bool addElements();

private:
  std::unordered_map<int, int> m_ps;
  std::unordered_map<int, int> m_seid;
  int                          m_defaultPS   = 0;
  int                          m_defaultSEID = 0;
  //! Kept elements: kind, line, EID, PID and the grid points, one after another.
  std::vector<int> m_elements;
};

#endif
