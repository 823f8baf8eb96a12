// Symbol visibility of the base library.
#ifndef algoBase_Export_HeaderFile
#define algoBase_Export_HeaderFile

#define algoBase_EXPORT __attribute__((visibility("default")))

#endif
