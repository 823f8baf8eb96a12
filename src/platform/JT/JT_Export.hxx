// Symbol visibility of the JT reading component.
#ifndef JT_Export_HeaderFile
#define JT_Export_HeaderFile

#define JT_EXPORT __attribute__((visibility("default")))

#endif
