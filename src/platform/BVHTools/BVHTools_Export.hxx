// Symbol visibility of the hierarchy component.
#ifndef BVHTools_Export_HeaderFile
#define BVHTools_Export_HeaderFile

#define BVHTools_EXPORT __attribute__((visibility("default")))

#endif
