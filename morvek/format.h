// Fixed-width output fields, as the Fortran edit descriptors Iw, Fw.d,
// ESw.d and Aw write them.
//
// Every numeric field is right-aligned and blank-padded on the left; a
// value that does not fit fills the field with asterisks. Producing the
// digits and fitting them into the field are kept apart (fit()).
#pragma once

#include <string>
#include <string_view>

namespace morvek {

// Iw: an integer right-aligned in w columns.
std::string fmtI(long long value, int w);

// Fw.d: fixed point with d decimals in w columns. A leading zero before the
// point is dropped when the field is one column short for it ("0.50" in
// F4.2, ".50" in F3.2), as Fortran does.
std::string fmtF(double value, int w, int d);

// ESw.d: scientific with one digit before the point, d decimals and a
// signed two-digit exponent ("1.950500E+03"). Exponents beyond 99 take the
// Fortran form without the letter ("1.0000000000000000+100").
std::string fmtES(double value, int w, int d);

// Aw: text left-aligned in w columns, blank-padded or cut to w.
std::string fmtA(std::string_view text, int w);

// The shortest text that reads back to the same double ("0.1", "1e-05"),
// for advisories and tables rather than the dialog's fixed fields.
std::string fmtShortest(double value);

// Right-aligns text in w columns, or gives w asterisks when it is longer.
std::string fit(std::string_view text, int w);

}  // namespace morvek
