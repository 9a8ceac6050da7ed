target_sources(skevo_core PRIVATE
  PduCodec.h PduCodec.cpp
  Gsm7Alphabet.h Gsm7Alphabet.cpp
)
