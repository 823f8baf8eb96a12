// Common definitions of the library: symbol export and the namespace of its classes.
#ifndef algoMesh_HeaderFile
#define algoMesh_HeaderFile

#define algoMesh_EXPORT __attribute__((visibility("default")))

//! Geometric tolerance used throughout the library: node merging, welding, box
//! comparisons and degeneracy tests.
#define algoMesh_Tolerance 1.0e-7

#endif
