// A JT file opened for reading: its header (version, byte order), its table of contents
// (segment GUID → offset, length, type) and its logical scene graph (nodes with children,
// attributes and transforms, property atoms with names and late-loaded segment
// references). Geometry segments are not read here: a late-loaded property fetches its
// segment through ReadSegment when asked. Every offset, length and count read from the file
// is checked against the file size or the bytes left before it is used.
#ifndef JtData_Model_HeaderFile
#define JtData_Model_HeaderFile

#include <JT_Export.hxx>
#include <Jt_GUID.hxx>

#include <NCollection_DataMap.hxx>
#include <Standard_Transient.hxx>
#include <TCollection_AsciiString.hxx>

#include <cstdint>
#include <istream>
#include <string>
#include <unordered_map>
#include <vector>

class JtData_Model;
DEFINE_STANDARD_HANDLE(JtData_Model, Standard_Transient)

class JT_EXPORT JtData_Model : public Standard_Transient
{
public:
  //! Where a segment lies in the file.
  struct SegmentInfo
  {
    uint64_t Offset = 0; //!< absolute offset of the segment header
    uint32_t Length = 0; //!< whole segment, header included
    int      Type   = 0; //!< 1 scene graph, 6 shape, 7..16 shape level 0..9, others ignored
  };

  //! The segment directory of the file, keyed by segment GUID.
  class SegmentsWriter
  {
  public:
    typedef NCollection_DataMap<Jt_GUID, SegmentInfo, Jt_GUID> MapOfSegments;

    const MapOfSegments& TOC() const { return myTOC; }
    MapOfSegments&       ChangeTOC() { return myTOC; }

  private:
    MapOfSegments myTOC;
  };

  enum NodeKind
  {
    NodeKind_Partition,
    NodeKind_Group,
    NodeKind_Instance,
    NodeKind_Part,
    NodeKind_MetaData,
    NodeKind_LOD,
    NodeKind_RangeLOD,
    NodeKind_Switch,
    NodeKind_TriStripShape,
    NodeKind_OtherShape
  };

  //! A segment reference held by a late-loaded property of a node.
  struct LateLoadedRef
  {
    Jt_GUID Segment;
    int     Type = 0;
  };

  //! A scene graph node with what the property table tells about it.
  struct Node
  {
    NodeKind                   Kind = NodeKind_Group;
    std::vector<int32_t>       Children;   //!< node ids; one for an instance
    std::vector<int32_t>       Attributes; //!< attribute element ids
    std::string                Name;       //!< the name property, as stored
    std::vector<LateLoadedRef> Geometry;   //!< late-loaded shape segments (types 6..16)
  };

public:
  JtData_Model();

  //! Reads header, table of contents and scene graph of a file.
  //! @return false with a one-line reason in `error` for an unreadable file, an unknown
  //! version, a table or scene graph segment that does not fit the file, or a corrupt
  //! scene graph
  bool Read(const TCollection_AsciiString& path, std::string& error);

  const TCollection_AsciiString& FilePath() const { return myPath; }
  uint64_t                       FileSize() const { return myFileSize; }
  int                            MajorVersion() const { return myMajor; }
  int                            MinorVersion() const { return myMinor; }
  bool                           IsBigEndian() const { return myIsBigEndian; }

  const SegmentsWriter& Segments() const { return mySegments; }

  //! Id of the root partition node, or -1 when the graph is empty.
  int32_t                                  RootId() const { return myRootId; }
  const std::unordered_map<int32_t, Node>& Nodes() const { return myNodes; }
  const Node*                              FindNode(const int32_t id) const;
  //! The 4×4 row-vector matrix of a transform attribute; false when `id` is none.
  bool Transform(const int32_t id, double matrix[16]) const;

  //! Reads a segment from an open stream of this file: the whole segment is checked against
  //! the table and the file size, then its payload (the element stream after the segment
  //! header) is inflated when the segment type is compressible.
  //! @return false when the segment is unknown, does not fit the file, has another GUID or
  //! type in its header, or its compressed data are corrupt
  bool
  ReadSegment(std::istream& stream, const Jt_GUID& segment, std::vector<uint8_t>& payload) const;

  //! The largest value count a decoder should accept inside a segment of `size` bytes.
  static size_t DecodeLimit(const size_t size);

  DEFINE_STANDARD_RTTIEXT(JtData_Model, Standard_Transient)

private:
  bool
  readHeader(std::istream& stream, uint64_t& tocOffset, Jt_GUID& sceneGraph, std::string& error);
  bool readTOC(std::istream& stream, const uint64_t offset, std::string& error);
  bool readSceneGraph(const std::vector<uint8_t>& payload);

private:
  TCollection_AsciiString                          myPath;
  uint64_t                                         myFileSize;
  int                                              myMajor;
  int                                              myMinor;
  bool                                             myIsBigEndian;
  SegmentsWriter                                   mySegments;
  int32_t                                          myRootId;
  std::unordered_map<int32_t, Node>                myNodes;
  std::unordered_map<int32_t, std::vector<double>> myTransforms;
};

#endif
