// Outcome of the file writers and of the mesh-merging conversions.
#ifndef core_ExportStatus_HeaderFile
#define core_ExportStatus_HeaderFile

namespace quorin
{

enum core_ExportStatus
{
  ExportStatus_Ok     = 1,  //!< the file (or the converted mesh) was produced
  ExportStatus_NoData = -1, //!< nothing usable to export: empty or null input, failed conversion
  ExportStatus_Failed = -2  //!< the output was not produced: the file or the writer failed
};

} // namespace quorin

#endif
