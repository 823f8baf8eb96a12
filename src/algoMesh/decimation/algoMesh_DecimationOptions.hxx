// Options of mesh decimation and their command-line form.
#ifndef algoMesh_DecimationOptions_HeaderFile
#define algoMesh_DecimationOptions_HeaderFile

#include <algoMesh.hxx>

#include <TCollection_AsciiString.hxx>

namespace quorin
{

//! Settings of a decimation request, shared by the drivers (algoMesh_VTKDecimatePro uses them
//! all, algoMesh_VTKQuadricDecimation only Reduction). Each value has a marker telling
//! whether it was given; the markers decide only what GetCmdLine writes, the drivers take
//! the values as they stand. A plain record, copied by value.
class algoMesh_EXPORT algoMesh_DecimationOptions
{
public:
  double Reduction;                 //!< triangles to remove, in percent (0 .. 100); 50
  bool   HasReduction;              //!< Reduction was given; false
  double FeatureAngle;              //!< feature angle in degrees (DecimatePro only); 0
  bool   HasFeatureAngle;           //!< FeatureAngle was given; false
  bool   PreserveTopology;          //!< forbid topology changes (DecimatePro only); true
  bool   HasPreserveTopology;       //!< PreserveTopology was given; false
  bool   DeleteBoundaryVertices;    //!< allow boundary vertex deletion (DecimatePro); true
  bool   HasDeleteBoundaryVertices; //!< DeleteBoundaryVertices was given; false
  bool   Splitting;                 //!< allow splitting at sharp edges (DecimatePro); false
  bool   HasSplitting;              //!< Splitting was given; false
  double SplitAngle;                //!< split angle in degrees (DecimatePro only); 0
  double HasSplitAngle;             //!< 1.0 when SplitAngle was given, else 0.0

  //! The defaults listed with the fields.
  algoMesh_DecimationOptions();

  //! Reads the keys "-reduction", "-featureAngle", "-splitAngle" (each followed by a real),
  //! "-preserveTopo", "-splitting", "-delBndVertices" (each followed by "on" or "off") from
  //! `argv[0 .. argc-1]`, keys and on/off compared case-insensitively, any order; other
  //! words are skipped. A key sets its value and its marker; fields not named keep theirs.
  //! @param[in]     argc    number of words; below 1 reads nothing.
  //! @param[in]     argv    the words (the first is not taken for a program name).
  //! @param[in,out] options the record to fill.
  //! @return 0 when `argc` < 1, else `argc`.
  //! @throw Standard_ProgramError when a key is the last word ("Value is expected for ...
  //!        option.") or an on/off key gets another word ("Key '-splitting' takes two values
  //!        'on' or 'off'. Check help for details."); Standard_TypeMismatch when a real key
  //!        gets a word that is not a real ("Incorrect argument for ... option. Real value
  //!        is expected."). Fields read before the error keep their new values.
  static int FromCmdLine(int argc, const char** argv, algoMesh_DecimationOptions& options);

  //! The keys of the given fields as FromCmdLine reads them, each preceded by a blank, in the
  //! order reduction, featureAngle, preserveTopo, delBndVertices, splitting, splitAngle;
  //! reals in the C "%g" form. Empty when no marker is set.
  TCollection_AsciiString GetCmdLine() const;
};

} // namespace quorin

#endif
