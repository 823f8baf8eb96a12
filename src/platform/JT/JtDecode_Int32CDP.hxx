// Decoders of the compressed packets of 32-bit integers that hold all JT geometry: the
// version 8 packet (null, bit-length, Huffman and arithmetic codecs with one or more
// probability contexts and out-of-band values) and the version 9 / 10 packet (null,
// bit-length, arithmetic, chopper and, in version 10, move-to-front), followed by undoing
// the predictor the caller names. Each decoder reads only inside its packet: code text
// past its stored bit count reads as zeros, counts are checked against the bytes left and
// against a value limit before anything is allocated, and a packet that does not decode to
// exactly its value count is rejected. Cost: linear in the packet size and value count
// (move-to-front also in the window size).
#ifndef JtDecode_Int32CDP_HeaderFile
#define JtDecode_Int32CDP_HeaderFile

#include <JT_Export.hxx>
#include <JtData_Reader.hxx>

#include <cstdint>
#include <vector>

class JT_EXPORT JtDecode_Int32CDP
{
public:
  //! How the stored values were derived from their predecessors.
  enum Predictor
  {
    Predictor_Null,
    Predictor_Lag1,
    Predictor_Lag2,
    Predictor_Stride1,
    Predictor_Stride2,
    Predictor_StripIndex,
    Predictor_Ramp,
    Predictor_Xor1,
    Predictor_Xor2
  };

  //! Reads a version 8 packet at the reader's position and undoes the predictor.
  //! @param[in] limit  largest value count accepted for this packet
  //! @return false on a malformed packet; the reader then stands somewhere inside it
  static bool ReadV8(JtData_Reader&        reader,
                     const Predictor       predictor,
                     const size_t          limit,
                     std::vector<int32_t>& values);

  //! Reads a version 9 (`majorVersion` 9) or 10 (`majorVersion` 10 or above) packet.
  static bool ReadV2(JtData_Reader&        reader,
                     const int             majorVersion,
                     const Predictor       predictor,
                     const size_t          limit,
                     std::vector<int32_t>& values);

  //! Replaces residuals by values: the first four stay, each later one adds the prediction
  //! from the values before it (32-bit wrap-around); the Xor predictors combine instead.
  static void UnPredict(const Predictor predictor, std::vector<int32_t>& values);
};

#endif
