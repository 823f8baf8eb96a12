// Symbol visibility of the closed surface mesher component.
#ifndef TKZeltMesh_Export_HeaderFile
#define TKZeltMesh_Export_HeaderFile

#define TKZeltMesh_EXPORT __attribute__((visibility("default")))

#endif
