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
    // Adds type to the types that pin offers, after those it has: for hosts
    // that know the track by another type. The host keeps its own copy.
    virtual HRESULT AddPinType(IPin* pin, const AM_MEDIA_TYPE* type) = 0;
    // The setup side of a pin that AddOutputPin answered; null if unknown.
    virtual StreamPinSetup* GetPinSetup(IPin* pin) = 0;

  protected:
    ~ParserHost() = default;
};
