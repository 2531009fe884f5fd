// The GUI's opening of the maker's method and event driver: read access, shared reading.
#pragma once

#include "VUNDGIF.h"

class CGuiVUNDGIF : public VUNDGIF {
public:
    ~CGuiVUNDGIF() {
        if (m_hDevice) Close();
    }
    BOOL Open(BOOL bOverlapped) override;
};
