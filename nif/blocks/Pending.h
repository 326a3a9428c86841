// A listed type whose fields are not described yet reads and writes its body as raw bytes.
#pragma once

#include "Structs.h"

#define NIF_PENDING(T)                                    \
    class T : public NiObject {                           \
      public:                                             \
        NIF_BLOCK(T)                                      \
        std::vector<uint8_t> raw;                         \
        void Fields(Visitor& v) override { v.Rest(raw); } \
    };
