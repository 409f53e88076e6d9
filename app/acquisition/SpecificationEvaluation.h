#pragma once

// The pass/fail test of a document's scan, run by the document itself
// before its views redraw, so the desktop program and unattended runs (which
// have no views) store the same flags for the same data. Views only draw the
// verdict.

#include "app/specification/SpecificationVerdict.h"

class CCorvelDoc;

// Judges the document's data against its configuration's specification and
// writes the four pass flags (the time flag of an input with its reference).
// fresh: the flags start again from pass and the reference is taken anew, so
// the verdict depends on the data alone (scan completion, each run of a
// multiple scan before it is saved). Otherwise a time failure already
// recorded in this scan stays, as during a running scan's refreshes.
// A refresh (not fresh) is skipped, the previous verdict kept, while the scan
// thread rewrites the data; fresh judgements are asked for where it has
// finished with it (completion, a run's save hand-shake).
SpecificationVerdict EvaluateSpecification(CCorvelDoc& document, bool fresh);
