#include <Exchange_OBJMaterials.hxx>

#include <Exchange_AtomicFile.hxx>
#include <Exchange_InputCheck.hxx>

#include <Exchange_OBJTools.hxx>

#include <cstring>
#include <fstream>

namespace quorin
{

namespace
{

//! Smallest positive normalised double: attributes at or below it are not written.
const double THE_WRITE_THRESHOLD = 2.2250738585072014e-308;

bool startsWith(const char* line, const char* keyword)
{
  return std::strncmp(line, keyword, std::strlen(keyword)) == 0;
}

} // namespace

Exchange_OBJMaterial::Exchange_OBJMaterial()
    : Ambient(0.2, 0.2, 0.2, Quantity_TOC_RGB), Diffuse(0.8, 0.8, 0.8, Quantity_TOC_RGB),
      Specular(1.0, 1.0, 1.0, Quantity_TOC_RGB), Opacity(1.0f), Shininess(0.0f)
{
}

bool Exchange_OBJMaterials::ReadMaterials(const std::string& path)
{
  m_materials.clear();
  // Only a regular file of bounded size: a library named after a device or a pipe would
  // never end.
  std::string reason;
  if (!Exchange_InputCheck::CheckRegularFile(path, Exchange_InputCheck::THE_REFERENCE_LIMIT,
                                             reason))
  {
    return false;
  }
  Exchange_OBJTools::ReadGuard guard(std::fopen(path.c_str(), "r"));
  if (!guard.IsOpen())
  {
    return false;
  }
  while (guard.NextLine())
  {
    const char* line = guard.Line;
    if (line[0] == '\0' || line[0] == '\n' || line[0] == '#')
    {
      continue;
    }
    if (startsWith(line, "newmtl "))
    {
      m_materials.emplace_back();
      Exchange_OBJTools::ReadString(guard, 7, m_materials.back().Name);
      continue;
    }
    // Attributes before the first material have nothing to apply to.
    if (m_materials.empty())
    {
      continue;
    }
    Exchange_OBJMaterial& material = m_materials.back();
    float                 r = 0.0f, g = 0.0f, b = 0.0f, value = 0.0f;
    if (startsWith(line, "Ka ") || startsWith(line, "Kd ") || startsWith(line, "Ks "))
    {
      if (Exchange_OBJTools::ReadValidateColor(guard, 3, r, g, b))
      {
        const Quantity_Color colour(r, g, b, Quantity_TOC_RGB);
        (line[1] == 'a'   ? material.Ambient
         : line[1] == 'd' ? material.Diffuse
                          : material.Specular) = colour;
      }
    }
    else if (startsWith(line, "Ns "))
    {
      if (Exchange_OBJTools::ReadValidateShininess(guard, 3, value))
      {
        material.Shininess = value;
      }
    }
    else if (startsWith(line, "Tr "))
    {
      if (Exchange_OBJTools::ReadValidateTransparency(guard, 3, value))
      {
        material.Opacity = 1.0f - value;
      }
    }
    else if (startsWith(line, "d "))
    {
      if (Exchange_OBJTools::ReadValidateTransparency(guard, 2, value))
      {
        material.Opacity = value;
      }
    }
  }
  return true;
}

bool Exchange_OBJMaterials::WriteMaterials(const std::string& path) const
{
  if (m_materials.empty())
  {
    return true;
  }
  // A temporary file renamed onto the target once every line reached the disk.
  Exchange_AtomicFile output(path);
  FILE*               file = output.File();
  if (file == nullptr)
  {
    return false;
  }
  std::fprintf(file, "# Exported by Halvard Quorin\n");
  for (const Exchange_OBJMaterial& m : m_materials)
  {
    std::fprintf(file, "newmtl %s\n", m.Name.c_str());
    std::fprintf(file, "Ka %f %f %f\n", m.Ambient.Red(), m.Ambient.Green(), m.Ambient.Blue());
    std::fprintf(file, "Kd %f %f %f\n", m.Diffuse.Red(), m.Diffuse.Green(), m.Diffuse.Blue());
    std::fprintf(file, "Ks %f %f %f\n", m.Specular.Red(), m.Specular.Green(), m.Specular.Blue());
    if (m.Shininess > THE_WRITE_THRESHOLD)
    {
      std::fprintf(file, "Ns %f\n", m.Shininess);
    }
    const float transparency = 1.0f - m.Opacity;
    if (transparency > THE_WRITE_THRESHOLD)
    {
      std::fprintf(file, "Tr %f\n", transparency);
    }
  }
  return output.Commit();
}

} // namespace quorin
