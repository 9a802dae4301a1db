// Orlenda's errors, identifier and message as the user sees them, spelt out here rather than taken
// from the plug-in: for every suite and fuzz target that checks a failed call.
#ifndef TESTS_CASES_ORLENDA_ERRORS_H
#define TESTS_CASES_ORLENDA_ERRORS_H

struct OrlendaError {
    const char *identifier;
    const char *message;
};

const OrlendaError BadNInput{"Peltrac:Varnelle:BadNInput", "Varnelle: 1 input required, 1 output allowed."};
const OrlendaError BadInputType{"Peltrac:Varnelle:BadInputType",
                                "Varnelle: [FileName] must be a string or cell string."};
const OrlendaError BadInputSize{"Peltrac:Varnelle:BadInputSize", "Varnelle: FileName is too long."};
const OrlendaError NoMemoryName{"Peltrac:Varnelle:NoMemory", "Varnelle: No memory for FileName."};
const OrlendaError NoMemoryBuffer{"Peltrac:Varnelle:NoMemory", "Varnelle: No memory for dynamic buffer."};
const OrlendaError FullNameStatic{"Peltrac:Varnelle:GetFullName_Failed_Static",
                                  "Varnelle: VarnelleName failed."};
const OrlendaError FullNameDynamic{"Peltrac:Varnelle:GetFullName_Failed_Dynamic",
                                   "Varnelle: VarnelleName failed."};
const OrlendaError LongNameTooLong{"Peltrac:Varnelle:Orlenda_Failed",
                                   "Varnelle: Orlenda failed - name too long."};

#endif
