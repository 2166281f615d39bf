// A filter's entry in the DirectShow filter registry, written and removed
// through either filter mapper from the filter's registration record: for the
// module's self-registration and for a filter's own IAMovieSetup alike.
#pragma once

#include "framework/FilterSetupRecord.h"

// Removes the filter's entry, then, when registering, writes it anew under
// the default filter category. S_FALSE without a record; a filter that the
// mapper does not know counts as removed.
HRESULT RegisterFilterWithMapper2(const FilterSetupRecord* setup, IFilterMapper2* mapper, BOOL doRegister);

// The same through the older mapper: the filter, then each pin and each of
// its media types.
HRESULT RegisterFilterWithMapper(const FilterSetupRecord* setup, IFilterMapper* mapper, BOOL doRegister);
