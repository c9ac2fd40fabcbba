#include "app/row_remedies.h"

namespace tw {

// Closing and ending programs arrive with their own change.
void click_row_remedy(MainWindow& /*w*/, const Hit& /*hit*/) {}
void apply_row_outcome(MainWindow& /*w*/, const RemedyOutcome& /*outcome*/) {}

}  // namespace tw
