// The module's class table: one row for each class that its class factory
// makes, with what registration needs to know about the class.
#pragma once

#include "framework/FilterSetupRecord.h"

// Makes a new object; answers its non-delegating unknown with no reference
// taken, or null with a failure in *result (or *result untouched).
typedef IUnknown* (*CreateRoutine)(IUnknown* outer, HRESULT* result);
// Told when the module loads (TRUE) and unloads (FALSE).
typedef void (*InitRoutine)(BOOL loading, const CLSID* clsid);

struct FactoryTemplate {
    const WCHAR* name;
    const CLSID* clsid;
    CreateRoutine create;
    InitRoutine init;
    // Null for a class that is not a filter.
    const FilterSetupRecord* filterSetup;
};

extern const FactoryTemplate FactoryTemplateTable[];
extern const int FactoryTemplateCount;

// The source filter's registration record, with its one output pin.
extern const FilterSetupRecord MovieSourceSetup;

// The first row that serves clsid, or null.
const FactoryTemplate* FindFactoryTemplate(REFCLSID clsid);

// Calls the init routine of every row that has one, in table order.
void RunInitRoutines(BOOL loading);
