// Symbol visibility of the mesh data model component.
#ifndef TKMorv_Export_HeaderFile
#define TKMorv_Export_HeaderFile

#define TKMorv_EXPORT __attribute__((visibility("default")))

#endif
