// The filter as the parser sees it: the parser asks it for one output pin per
// streamable track and configures that pin; nothing flows back into parsing.
#pragma once

#include "parser/StreamPinSetup.h"
#include "platform/Platform.h"

class ParserHost {
  public:
    // Creates a pin that offers exactly type (the host keeps its own copy) and
    // answers its IPin with one reference for the caller.
    virtual HRESULT AddOutputPin(const AM_MEDIA_TYPE* type, LPCWSTR name, IPin** pin) = 0;
    // The setup side of a pin that AddOutputPin answered; null if unknown.
    virtual StreamPinSetup* GetPinSetup(IPin* pin) = 0;

  protected:
    ~ParserHost() = default;
};
