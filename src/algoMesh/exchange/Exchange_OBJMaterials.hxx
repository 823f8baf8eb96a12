// MTL materials: the list an OBJ file refers to with "usemtl", read from and written to
// an MTL file. Only the colour attributes Ka, Kd, Ks, the shininess Ns and the opacity
// (d, or Tr as its complement) are kept; values out of range are skipped.
#ifndef Exchange_OBJMaterials_HeaderFile
#define Exchange_OBJMaterials_HeaderFile

#include <algoMesh.hxx>

#include <Quantity_Color.hxx>

#include <string>
#include <vector>

namespace quorin
{

//! One MTL material.
struct algoMesh_EXPORT Exchange_OBJMaterial
{
  Exchange_OBJMaterial();

  std::string    Name;
  Quantity_Color Ambient;   //!< Ka, default 0.2 grey
  Quantity_Color Diffuse;   //!< Kd, default 0.8 grey
  Quantity_Color Specular;  //!< Ks, default white
  float          Opacity;   //!< 1 = opaque (default)
  float          Shininess; //!< Ns, default 0
};

class algoMesh_EXPORT Exchange_OBJMaterials
{
public:
  //! Replaces the list by the materials of an MTL file, in file order. Lines that begin
  //! with a blank, unknown keywords, attributes before the first "newmtl" and values out
  //! of range (colours outside [0, 1], Ns outside [0, 1000], d or Tr outside [0, 1]) are
  //! ignored. @return false only when the file cannot be opened.
  bool ReadMaterials(const std::string& path);

  //! Writes the list as an MTL file; an empty list creates no file and answers true.
  //! Ns is written only when positive, Tr (1 - opacity) only when positive.
  //! @return false only when the file cannot be opened.
  bool WriteMaterials(const std::string& path) const;

  std::vector<Exchange_OBJMaterial>&       Materials() { return m_materials; }
  const std::vector<Exchange_OBJMaterial>& Materials() const { return m_materials; }

private:
  std::vector<Exchange_OBJMaterial> m_materials;
};

} // namespace quorin

#endif
