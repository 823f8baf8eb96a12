// Symbol visibility of the ActiveDataAPI library.
#ifndef ActAPI_Export_HeaderFile
#define ActAPI_Export_HeaderFile

#define ActAPI_EXPORT __attribute__((visibility("default")))

#endif
