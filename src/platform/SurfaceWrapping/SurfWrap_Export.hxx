// Symbol visibility of the wrapping component.
#ifndef SurfWrap_Export_HeaderFile
#define SurfWrap_Export_HeaderFile

#define SurfWrap_EXPORT __attribute__((visibility("default")))

#endif
