// The view's layout: every box, text and colour of one state at one size, worked out from the
// state, the client size and a text-measuring function alone; nothing here draws.
//   Builder: the header's and the footer's buttons; the target card and its summary line; the
//     headline, its explanation, Stop and the progress bar; each row in view (note, details,
//     state pill, buttons, text boxes); the hints below the rows; the empty view; the notice.
//   Then the rows' buttons and the sentences explaining them, the focus order and where an
//   element is, layout_view itself, and hit-testing and scrolling over a finished layout.

#include "app/window/view.h"

#include <algorithm>
#include <cmath>

#include "app/language/catalogue.h"
#include "app/remedies/eject.h"
#include "app/remedies/release_file.h"
#include "app/remedies/remedy_rules.h"
#include "app/remedies/services.h"
#include "app/scan/held_text.h"
#include "common/numbers.h"
#include "common/text.h"
#include "discovery/file_list.h"
#include "discovery/path_spelling.h"

namespace tw {
namespace {

using namespace view_sizes;

// Icon-font glyphs, as UTF-8.
constexpr const char* kGlyphMenu = "\xEE\x9C\x80";        // U+E700
constexpr const char* kGlyphRescan = "\xEE\x9C\xAC";      // U+E72C
constexpr const char* kGlyphAdd = "\xEE\xA3\xA5";         // U+E8E5
constexpr const char* kGlyphFolder = "\xEE\xB4\xA5";      // U+ED25
constexpr const char* kGlyphFile = "\xEE\xA2\xA5";        // U+E8A5

std::string joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
  return out;
}

bool contains(const RectF& r, PointF p) {
  return p.x >= r.x && p.y >= r.y && p.x < r.x + r.width && p.y < r.y + r.height;
}

bool released(ActionKind k) {
  return k == ActionKind::Closed || k == ActionKind::Restarted || k == ActionKind::Stopped ||
         k == ActionKind::Disconnected || k == ActionKind::Released;
}

std::string dots(std::uint32_t tick) { return std::string(tick % 3 + 1, '.'); }

struct Builder {
  const WindowState& s;
  ViewSize size;
  const TextMetrics& m;
  float u;
  bool all_rows;
  Layout out;

  float R(float v) const { return std::round(v * u); }  // whole pixels, for what lines up
  float S(float v) const { return v * u; }              // as scaled, for what sits inside a box
  float button_width(const std::string& label, ButtonStyle style) const {
    return std::round((kButtonPadding + m.line_width(label, button_label_role(style))) * u);
  }

  ViewElement text_button(HitKind kind, std::size_t row, std::string label, float right, float y,
                          ButtonStyle style) const {
    const float w = button_width(label, style);
    return ViewElement{Hit{kind, row}, std::move(label), RectF{right - w, y, w, R(kButtonHeight)}, style};
  }

  void header() {
    out.header_height = R(kHeaderHeight);
    const float side = R(kButtonHeight);
    const float y = std::round((out.header_height - side) * 0.5f);
    float x = size.width - R(kHeaderEdge) - side;
    const auto glyph = [&](HitKind kind, const char* g) {
      out.header.push_back(ViewElement{Hit{kind, 0}, g, RectF{x, y, side, side}, ButtonStyle::Glyph});
      x -= R(kHeaderGap) + side;
    };
    glyph(HitKind::MenuButton, kGlyphMenu);
    if (!s.targets.empty()) glyph(HitKind::Rescan, kGlyphRescan);
    glyph(HitKind::AddButton, kGlyphAdd);
    if (s.targets.empty() || scan_running(s)) return;
    float right = out.header.back().box.x - R(kHeaderGap);
    if (!s.deep) {
      out.header.push_back(
          text_button(HitKind::DeepSearch, 0, localized_text(msg::kDeepSearch), right, y, ButtonStyle::Secondary));
      right = out.header.back().box.x - R(kHeaderGap);
    }
    if (!s.elevated) {
      out.header.push_back(text_button(HitKind::SearchAsAdmin, 0, localized_text(msg::kSearchAsAdministrator), right, y,
                                       ButtonStyle::Secondary));
    }
  }

  bool every_diagnosis_gone() const {
    const auto& d = s.summary->diagnoses;
    return !d.empty() && std::all_of(d.begin(), d.end(), [](const Diagnosis& x) { return x.kind == DiagnosisKind::Gone; });
  }

  void footer() {
    if (!s.summary || scan_running(s) || every_diagnosis_gone()) return;
    out.footer_height = R(kFooterHeight);
    const float y = std::round(size.height - out.footer_height + (out.footer_height - R(kButtonHeight)) * 0.5f);
    const float right = out.column_left + out.column_width;
    // After a stopped search something unseen may still hold the targets.
    const bool all_released = !s.summary->stopped && std::all_of(s.rows.begin(), s.rows.end(), [](const HolderRow& r) {
      return released(r.action.kind);
    });
    // A drive is not recycled but ejected; its root stays protected all the same.
    const bool eject = s.eject_offered;
    const Message& first = !eject ? msg::kMoveToRecycleBin : s.ejecting ? msg::kEjecting : msg::kEject;
    out.footer.push_back(text_button(eject ? HitKind::Eject : HitKind::RecycleBin, 0, localized_text(first), right, y,
                                     all_released ? ButtonStyle::Primary : ButtonStyle::Secondary));
    const bool stuck_row = std::any_of(s.rows.begin(), s.rows.end(), [](const HolderRow& r) {
      return !any_remedy_fits(r.holder.kind) || r.action.kind == ActionKind::Failed;
    });
    const bool unseen = std::any_of(s.summary->diagnoses.begin(), s.summary->diagnoses.end(), [](const Diagnosis& d) {
      return d.kind == DiagnosisKind::NoPermission || d.kind == DiagnosisKind::InUseUnseen;
    });
    if (s.recycle_failed || s.delete_scheduled || s.delete_scheduling || stuck_row || unseen) {
      const Message& label = s.delete_scheduling ? msg::kScheduling
                             : s.delete_scheduled ? msg::kDeleteOnRestartScheduled
                                                  : msg::kDeleteOnRestart;
      out.footer.push_back(text_button(HitKind::DeleteOnRestart, 0, localized_text(label),
                                       out.footer.back().box.x - R(kButtonGap), y, ButtonStyle::Secondary));
    }
  }

  std::string summary_line() const {
    if (s.targets.empty()) return {};  // paths handed over are still being taken in
    if (!s.summary) return localized_text(s.targets_hold_folder ? msg::kTargetFolder : msg::kTargetFile);
    const ScanSummary& r = *s.summary;
    if (every_diagnosis_gone()) return localized_text(msg::kTargetNotFound);
    if (r.drive) return localized_text(msg::kTargetFolder);  // its files were not counted
    const std::string files = group_thousands(r.files_checked);
    if (r.folders != 0) {
      if (r.truncated || r.stopped) return localized_filled(msg::kTargetFolderCapped, {files});
      return r.files_checked == 1 ? localized_text(msg::kTargetFolderOneFile)
                                  : localized_filled(msg::kTargetFolderFiles, {files});
    }
    return r.files_checked == 1 ? localized_text(msg::kTargetFile) : localized_filled(msg::kFileCount, {files});
  }

  void status() {
    if (scan_running(s)) {
      out.headline = localized_text(msg::kSearching) + dots(s.tick);
      switch (s.progress.phase) {
        case ScanPhase::Listing:
          out.explanation = localized_filled(msg::kProgressListing, {group_thousands(s.progress.files)});
          break;
        case ScanPhase::AskingWindows:
          out.explanation = localized_filled(msg::kProgressAskingWindows, {group_thousands(s.progress.files)});
          break;
        case ScanPhase::DeepSearching:
        case ScanPhase::Taken:
          out.explanation = localized_text(msg::kProgressDeepSearching);
          break;
      }
      return;
    }
    if (!s.summary) return;  // a new target set before its first result
    // Opens by other computers are no programs: the headline counts them apart.
    std::size_t remaining = 0, network = 0;
    bool program_remains = false;
    for (const HolderRow& r : s.rows) {
      if (released(r.action.kind)) continue;
      ++(r.holder.kind == HolderKind::NetworkOpen ? network : remaining);
      program_remains = program_remains || any_remedy_fits(r.holder.kind);
    }
    if (s.rows.empty()) {
      out.headline = localized_text(msg::kNoProgramHolding);
      out.explanation = localized_text(s.summary->deep ? msg::kDeepFoundNothing : msg::kTryDeepSearch);
    } else if (remaining + network == 0) {
      out.headline = localized_text(msg::kAllReleased);
      out.explanation = localized_text(msg::kCanDeleteNow);
    } else if (!program_remains) {
      out.headline = localized_text(msg::kWindowsIsHolding);
      out.explanation = localized_text(msg::kCantBeEnded);
      for (const Message* line : remedies_explained(s.rows)) {
        if (line == &msg::kStopServiceExplained) out.explanation += "\n" + localized_text(*line);
      }
    } else {
      out.headline = remaining == 0   ? localized_text(msg::kOtherComputersHaveItOpen)
                     : remaining == 1 ? localized_text(msg::kOneProgramHolding)
                                      : localized_filled(msg::kProgramsHolding, {group_thousands(remaining)});
      for (const Message* line : remedies_explained(s.rows)) {
        if (!out.explanation.empty()) out.explanation += '\n';
        out.explanation += localized(*line);
      }
    }
  }

  // A drive is searched by what is open on it: the view says so, as it lists no files.
  void mark_drive() {
    const bool drive = s.summary ? s.summary->drive : scan_running(s) && s.targets.size() == 1 && drive_root(s.targets[0]);
    if (!drive || out.headline.empty()) return;
    if (!out.explanation.empty()) out.explanation += '\n';
    out.explanation += localized(msg::kDriveSearchedByOpenFiles);
  }

  // A search told to stop says so while it winds down, and afterwards claims nothing of what
  // it did not look at: not that nothing holds the targets, nor that they can be deleted now.
  void mark_stopped() {
    if (scan_running(s)) {
      if (s.stopping) out.headline = localized_text(msg::kStopping) + dots(s.tick);
      return;
    }
    if (!s.summary || !s.summary->stopped) return;
    if (s.rows.empty()) out.headline = localized_text(msg::kSearchStopped);
    out.explanation = localized_text(msg::kSearchStoppedIncomplete);
  }

  // Stop sits at the end of the headline, beside the progress it ends.
  void stop_button() {
    if (!can_stop_scan(s)) return;
    const float right = out.column_left + out.column_width;
    const float y = std::round(out.headline_box.y + (out.headline_box.height - R(kButtonHeight)) * 0.5f);
    out.status_buttons.push_back(
        text_button(HitKind::StopSearch, 0, localized_text(msg::kStopSearch), right, y, ButtonStyle::Secondary));
    out.headline_box.width = std::max(out.status_buttons.back().box.x - R(kButtonGap) - out.column_left, 0.0f);
  }

  std::optional<float> progress_fraction() const {
    if (!scan_running(s)) return std::nullopt;
    const float f = s.progress.fraction;
    switch (s.progress.phase) {
      case ScanPhase::Listing:
        return 0.05f;
      case ScanPhase::AskingWindows:
        return s.deep ? 0.05f + 0.45f * f : 0.05f + 0.9f * f;
      case ScanPhase::DeepSearching:
      case ScanPhase::Taken:
        break;
    }
    return 0.5f + 0.5f * f;
  }

  std::string note(const HolderRow& r, Color& color, const Palette& p) const {
    color = p.muted;
    if (r.action.kind == ActionKind::Failed) {
      color = p.danger;
      return r.action.message;
    }
    const Holder& h = r.holder;
    if (!h.stoppable_services.empty() && r.action.kind != ActionKind::Stopped) {
      color = p.warning;
      return localized_text(msg::kRowServiceStoppable) + " (" + joined(h.stoppable_services) + ")";
    }
    switch (h.kind) {
      case HolderKind::WindowsComponent:
        color = p.warning;
        return localized_text(msg::kRowWindowsComponent);
      case HolderKind::Service: {
        color = p.warning;
        std::string text = localized_text(msg::kRowService);
        if (!h.services.empty()) text += " (" + joined(h.services) + ")";
        return text;
      }
      case HolderKind::FileExplorer:
        return localized_text(msg::kRowExplorer);
      case HolderKind::NetworkOpen:
        return h.remote.computer.empty() ? localized_text(msg::kRowNetworkFromUnknown)
                                         : localized_filled(msg::kRowNetworkFrom, {h.remote.computer});
      case HolderKind::Program:
        break;
    }
    if (r.action.kind == ActionKind::NotClosed) {
      color = p.warning;
      return localized_text(h.has_window ? msg::kRowMayAskToSave : msg::kRowNoWindowForceQuit);
    }
    if (!h.window_title.empty()) return h.window_title;
    return h.has_window ? std::string() : localized_text(msg::kRowNoWindow);
  }

  std::string details(const Holder& h) const {
    const std::string held = held_text(h);
    // An open by another computer has no program here to name.
    if (h.kind == HolderKind::NetworkOpen) return held.empty() ? held : localized_text(msg::kRowHolding) + " " + held;
    std::string text = h.exe_name + " \xC2\xB7 PID " + std::to_string(h.pid);
    if (!held.empty()) text += " \xC2\xB7 " + localized_text(msg::kRowHolding) + " " + held;
    return text;
  }

  // The state pill beside a row's title, with its colour.
  void pill(RowLayout& row, const HolderRow& r, const Palette& p) const {
    const auto set = [&](const Message& text, Color color, bool busy = false) {
      row.pill = localized_text(text) + (busy ? dots(s.tick) : std::string());
      row.pill_color = color;
    };
    switch (r.action.kind) {
      case ActionKind::Idle:
        break;
      case ActionKind::Closing:
        set(msg::kStateClosing, p.accent, true);
        break;
      case ActionKind::Restarting:
        set(msg::kStateRestarting, p.accent, true);
        break;
      case ActionKind::Stopping:
        set(msg::kStopping, p.accent, true);
        break;
      case ActionKind::Stopped:
        set(msg::kStateStopped, p.success);
        break;
      case ActionKind::Ending:
        set(msg::kStateEnding, p.danger, true);
        break;
      case ActionKind::NotClosed:
        if (r.holder.has_window) row.pill = localized_text(msg::kStateNotClosed);
        row.pill_color = p.warning;
        break;
      case ActionKind::Closed:
        set(msg::kStateClosed, p.success);
        break;
      case ActionKind::Restarted:
        set(msg::kStateRestarted, p.success);
        break;
      case ActionKind::Releasing:
        set(msg::kStateReleasing, p.accent, true);
        break;
      case ActionKind::Released:
        set(msg::kStateReleased, p.success);
        break;
      case ActionKind::Failed:
        set(msg::kStateFailed, p.danger);
        break;
      case ActionKind::Disconnecting:
        set(msg::kStateDisconnecting, p.accent, true);
        break;
      case ActionKind::Disconnected:
        set(msg::kStateDisconnected, p.success);
        break;
    }
  }

  // A row's buttons, right to left from its right edge.
  void row_buttons(RowLayout& row, const HolderRow& r) {
    row.first_button = out.rows_buttons.size();
    const auto buttons = row_button_kinds(r);
    float right = row.box.x + row.box.width - R(kCardInset);
    const float y = std::round(row.box.y + (row.box.height - R(kButtonHeight)) * 0.5f);
    for (auto it = buttons.rbegin(); it != buttons.rend(); ++it) {
      const Message& label = it->first == HitKind::RowRestartExplorer ? msg::kRestartExplorer
                             : it->first == HitKind::RowClose         ? msg::kClose
                             : it->first == HitKind::RowStopService   ? msg::kStopService
                             : it->first == HitKind::RowDisconnect    ? msg::kDisconnect
                             : it->first == HitKind::RowReleaseFile   ? msg::kReleaseFileOnly
                                                                      : msg::kForceQuit;
      out.rows_buttons.push_back(text_button(it->first, row.index, localized_text(label), right, y, it->second));
      right = out.rows_buttons.back().box.x - R(kButtonGap);
    }
    row.button_count = out.rows_buttons.size() - row.first_button;
  }

  // Rows sit one below the other at a fixed pitch: those in view follow from the scroll offset.
  void rows(float rows_top, const Palette& p) {
    const float pitch = R(kRowHeight + kRowGap);
    out.rows_top = rows_top;
    out.row_pitch = pitch;
    const float first = std::floor((s.scroll - rows_top) / pitch);
    const float end = std::ceil((s.scroll + size.height - rows_top) / pitch);
    std::size_t from = first <= 0.0f ? 0 : std::min(static_cast<std::size_t>(first), s.rows.size());
    std::size_t to = end <= 0.0f ? 0 : std::min(static_cast<std::size_t>(end), s.rows.size());
    if (all_rows) {
      from = 0;
      to = s.rows.size();
    }
    for (std::size_t i = from; i < to; ++i) {
      const HolderRow& r = s.rows[i];
      RowLayout row;
      row.index = i;
      row.box = RectF{out.column_left, rows_top + static_cast<float>(i) * pitch, out.column_width, R(kRowHeight)};
      row.title = shown_title(r.holder);
      row.note = note(r, row.note_color, p);
      row.details = details(r.holder);
      pill(row, r, p);
      row_buttons(row, r);
      row_text_boxes(row);
      out.rows.push_back(std::move(row));
    }
  }

  // The icon on the left; the title, its state pill, the note and the details beside it, up to
  // the leftmost button. The title is cut short before it pushes the pill off.
  void row_text_boxes(RowLayout& row) const {
    const RectF& b = row.box;
    row.icon = RectF{b.x + S(kRowIconLeft), b.y + (b.height - S(kRowIcon)) * 0.5f, S(kRowIcon), S(kRowIcon)};
    const float text_left = b.x + S(kRowTextLeft);
    const float buttons_left =
        row.button_count ? out.rows_buttons[row.first_button + row.button_count - 1].box.x : b.x + b.width - S(kCardInset);
    const float text_width = std::max(buttons_left - S(kRowTextGap) - text_left, 0.0f);
    float title_width = text_width;
    if (!row.pill.empty()) {
      const float pill_width = (m.line_width(row.pill, FontRole::Small) + kPillPadding) * u;
      title_width = std::min(m.line_width(row.title, FontRole::BodyStrong) * u,
                             std::max(text_width - pill_width - S(kPillGap), 0.0f));
      row.pill_box = RectF{text_left + title_width + S(kPillGap), b.y + S(kPillTop), pill_width, S(kPillHeight)};
    }
    row.title_box = RectF{text_left, b.y + S(kRowTitleTop), title_width, S(kRowTitleHeight)};
    row.note_box = RectF{text_left, b.y + S(kRowNoteTop), text_width, S(kRowNoteHeight)};
    row.details_box = RectF{text_left, b.y + S(kRowDetailsTop), text_width, S(kRowDetailsHeight)};
  }

  std::vector<std::string> hint_texts() const {
    std::vector<std::string> hints;
    if (!s.summary) return hints;
    const ScanSummary& r = *s.summary;
    if (s.rows.empty()) {
      const std::size_t listed = std::min(r.diagnoses.size(), kListedDiagnoses);
      for (std::size_t i = 0; i < listed; ++i) {
        const Diagnosis& d = r.diagnoses[i];
        std::string text = diagnosis_text(d, r.deep, s.elevated);
        if (r.diagnoses.size() > 1) text = last_component(d.target) + " \xE2\x80\x94 " + text;
        hints.push_back(std::move(text));
      }
      if (r.diagnoses.size() > listed)
        hints.push_back(localized_filled(msg::kAndMore, {group_thousands(r.diagnoses.size() - listed)}));
    }
    if (r.truncated) hints.push_back(localized_filled(msg::kTooManyFiles, {group_thousands(kListingCap)}));
    if (!r.deep && !s.rows.empty()) hints.push_back(localized_text(msg::kTryDeepSearchFolder));
    if (r.deep && !s.elevated && r.inaccessible != 0) {
      hints.push_back(localized_filled(msg::kInaccessibleProcesses, {group_thousands(r.inaccessible)}));
    }
    if (r.gave_up) hints.push_back(localized_text(msg::kDeepGaveUp));
    // With no rows, each shared target's diagnosis says so.
    if (r.network_unseen && !s.elevated && !s.rows.empty())
      hints.push_back(localized_text(msg::kDiagnosisSharedTryAdmin));
    // Only worth saying when nothing was found: then one of those may be the holder.
    if (r.deep && r.unexamined != 0 && s.rows.empty()) {
      hints.push_back(localized_filled(msg::kDeepSkippedHandles, {group_thousands(r.unexamined)}));
    }
    return hints;
  }

  void target_view(const Palette& p) {
    const float card_top = out.header_height + R(kCardTop);
    for (std::size_t i = 0; i < std::min<std::size_t>(3, s.targets.size()); ++i) out.card_lines.push_back(to_utf8(s.targets[i]));
    if (s.targets.size() > 3)
      out.card_lines.push_back(localized_filled(msg::kAndMore, {group_thousands(s.targets.size() - 3)}));
    const float lines = static_cast<float>(out.card_lines.size());
    out.card = RectF{out.column_left, card_top, out.column_width, R(lines * kCardLineHeight + kCardBottomSpace)};
    out.card_glyph = s.targets_hold_folder ? kGlyphFolder : kGlyphFile;
    out.card_glyph_box = RectF{out.card.x + S(kCardInset), out.card.y + S(kCardInset), S(kCardGlyph), S(kCardGlyph)};
    const float text_left = out.card.x + S(kCardTextLeft);
    const float text_width = out.card.width - S(kCardTextLeft + kCardInset);
    float line_y = out.card.y + S(kCardInset);
    for (std::size_t i = 0; i < out.card_lines.size(); ++i) {
      out.card_line_boxes.push_back(RectF{text_left, line_y, text_width, S(kCardLineHeight)});
      line_y += S(kCardLineHeight);
    }
    out.summary = summary_line();
    out.summary_box = RectF{text_left, line_y + S(kCardSummaryGap), text_width, S(kCardSummaryHeight)};

    const float card_bottom = out.card.y + out.card.height;
    status();
    mark_stopped();
    mark_drive();
    out.headline_box = RectF{out.column_left, card_bottom + R(kHeadlineTop), out.column_width, R(kHeadlineHeight)};
    stop_button();
    out.explanation_top = out.headline_box.y + R(kExplanationTop);
    out.explanation_height =
        out.explanation.empty() ? 0.0f : m.paragraph_height(out.explanation, FontRole::Body, out.column_width) * u;
    out.progress = progress_fraction();
    out.progress_track = RectF{out.column_left, out.explanation_top + out.explanation_height + R(kProgressGap),
                               out.column_width, R(kProgressHeight)};

    const float rows_top = card_bottom + R(kHeadlineTop + kExplanationTop) + out.explanation_height + R(kRowsGap) +
                           (scan_running(s) ? R(kProgressSpace) : 0.0f);
    rows(rows_top, p);

    // Below every row.
    float y = rows_top + static_cast<float>(s.rows.size()) * R(kRowHeight + kRowGap) + R(kHintsTop);
    for (std::string& text : hint_texts()) {
      const float width = out.column_width - R(2 * kHintInset);
      const float height = m.paragraph_height(text, FontRole::Body, width) * u;
      out.hints.push_back(HintLayout{std::move(text), RectF{out.column_left + R(kHintInset), y, width, height}});
      y += height + R(kHintGap);
    }
    out.content_height = y + R(kContentBottom);
  }

  void empty_view(bool explorer_installed) {
    const float W = size.width, H = size.height;
    std::string files = localized_text(msg::kChooseFiles), folder = localized_text(msg::kChooseFolder);
    const float w1 = button_width(files, ButtonStyle::Primary), w2 = button_width(folder, ButtonStyle::Secondary);
    const float x = std::round((W - (w1 + R(kEmptyButtonGap) + w2)) * 0.5f);
    const float y = std::round(H * 0.5f + R(kEmptyButtonsTop));
    out.empty_buttons.push_back(ViewElement{Hit{HitKind::ChooseFiles, 0}, std::move(files),
                                            RectF{x, y, w1, R(kButtonHeight)}, ButtonStyle::Primary});
    out.empty_buttons.push_back(ViewElement{Hit{HitKind::ChooseFolder, 0}, std::move(folder),
                                            RectF{x + w1 + R(kEmptyButtonGap), y, w2, R(kButtonHeight)},
                                            ButtonStyle::Secondary});
    // Unrounded, as the middle of the window is.
    out.tile = RectF{(W - kTile * u) * 0.5f, H * 0.5f - kTileTop * u, kTile * u, kTile * u};
    const float inset = kEmptyTextInset * u;
    out.drop_line_box = RectF{inset, H * 0.5f - kDropLineTop * u, W - 2 * inset, kDropLineHeight * u};
    out.tagline_box = RectF{inset, H * 0.5f - kTaglineTop * u, W - 2 * inset, kTaglineHeight * u};
    out.tip = localized_text(explorer_installed ? msg::kEmptyExplorerHint : msg::kEmptyAddToMenuHint);
    const float tip_width = std::min(kTipMaxWidth * u, W - 2 * kTipMargin * u);
    out.tip_box = RectF{(W - tip_width) * 0.5f, H * 0.5f + kTipTop * u, tip_width, 0.0f};
  }

  void notice() {
    if (!s.notice) return;
    const float margin = R(2 * kNoticeMargin);
    const float width = std::min(m.line_width(*s.notice, FontRole::Body) * u + margin, size.width - margin);
    const RectF box{std::round((size.width - width) * 0.5f), size.height - out.footer_height - R(kNoticeAboveFooter),
                    width, R(kNoticeHeight)};
    out.notice_box = box;
    out.notice_text_box = RectF{box.x + kNoticePadding * u, box.y, box.width - 2 * kNoticePadding * u, box.height};
  }
};

}  // namespace

TextMetrics fixed_metrics() {
  return TextMetrics{[](std::string_view, FontRole) { return 80.0f; },
                     [](std::string_view, FontRole, float) { return 22.0f; }};
}

std::vector<std::pair<HitKind, ButtonStyle>> row_button_kinds(const HolderRow& row) {
  const std::vector<RemedyKind> offered = remedies_offered(row.holder.kind, row.holder.has_window, row.action.kind);
  std::vector<std::pair<HitKind, ButtonStyle>> buttons;
  for (const RemedyKind remedy : offered) {
    switch (remedy) {
      case RemedyKind::Close:
        // The first choice while it is the only one; beside Force quit, the gentler second.
        buttons.emplace_back(HitKind::RowClose, offered.size() == 1 ? ButtonStyle::Primary : ButtonStyle::Secondary);
        break;
      case RemedyKind::ForceQuit:
        buttons.emplace_back(HitKind::RowForceQuit, ButtonStyle::Danger);
        break;
      case RemedyKind::RestartExplorer:
        buttons.emplace_back(HitKind::RowRestartExplorer, ButtonStyle::Primary);
        break;
      case RemedyKind::Disconnect:
        // The other computer's unsaved work may be lost, as with Force quit.
        buttons.emplace_back(HitKind::RowDisconnect, ButtonStyle::Danger);
        break;
      case RemedyKind::DeleteOnRestart:
      case RemedyKind::StopService:
      case RemedyKind::ReleaseFile:
        break;
    }
  }
  // After the others: the only one a service's row has.
  if (stop_service_offered(row.holder, row.action.kind)) buttons.emplace_back(HitKind::RowStopService, ButtonStyle::Primary);
  // Never a row's first choice: after the remedies that end the program's hold with it.
  if (!buttons.empty() && release_allowed(row.holder, ::GetCurrentProcessId())) {
    buttons.emplace_back(HitKind::RowReleaseFile, ButtonStyle::Secondary);
  }
  return buttons;
}

bool row_offers_button(const HolderRow& row, HitKind button) {
  const auto kinds = row_button_kinds(row);
  return std::any_of(kinds.begin(), kinds.end(), [button](const auto& k) { return k.first == button; });
}

std::vector<const Message*> remedies_explained(std::span<const HolderRow> rows) {
  bool close = false, force_quit = false, restart_explorer = false, stop_service = false, disconnect = false;
  bool release = false, busy = false;
  for (const HolderRow& r : rows) {
    busy = busy || is_busy(r.action.kind);
    for (const auto& [kind, style] : row_button_kinds(r)) {
      close = close || kind == HitKind::RowClose;
      force_quit = force_quit || kind == HitKind::RowForceQuit;
      restart_explorer = restart_explorer || kind == HitKind::RowRestartExplorer;
      stop_service = stop_service || kind == HitKind::RowStopService;
      disconnect = disconnect || kind == HitKind::RowDisconnect;
      release = release || kind == HitKind::RowReleaseFile;
    }
  }
  std::vector<const Message*> lines;
  if (close) lines.push_back(&msg::kCloseExplained);
  if (force_quit) lines.push_back(&msg::kForceQuitExplained);
  if (restart_explorer) lines.push_back(&msg::kRestartExplorerExplained);
  if (stop_service) lines.push_back(&msg::kStopServiceExplained);
  if (disconnect) lines.push_back(&msg::kDisconnectExplained);
  if (release) lines.push_back(&msg::kReleaseExplained);
  if (lines.empty() && busy) lines.push_back(&msg::kWaitingForProgram);
  return lines;
}

std::vector<Hit> focus_order(const Layout& layout, const WindowState& state) {
  std::vector<Hit> order;
  const auto left_to_right = [&order](const std::vector<ViewElement>& elements) {
    std::vector<const ViewElement*> sorted;
    for (const ViewElement& e : elements) sorted.push_back(&e);
    std::sort(sorted.begin(), sorted.end(), [](const ViewElement* a, const ViewElement* b) { return a->box.x < b->box.x; });
    for (const ViewElement* e : sorted) order.push_back(e->hit);
  };
  left_to_right(layout.header);
  if (shows_empty_view(state)) left_to_right(layout.empty_buttons);
  left_to_right(layout.status_buttons);
  for (std::size_t i = 0; i < state.rows.size(); ++i) {
    order.push_back(Hit{HitKind::Row, i});
    for (const auto& [kind, style] : row_button_kinds(state.rows[i])) order.push_back(Hit{kind, i});
  }
  left_to_right(layout.footer);
  return order;
}

std::optional<RectF> element_box(const Layout& layout, const WindowState& state, const Hit& hit) {
  const auto find = [&](const std::vector<ViewElement>& elements, float dy) -> std::optional<RectF> {
    for (const ViewElement& e : elements) {
      if (e.hit == hit) return RectF{e.box.x, e.box.y - dy, e.box.width, e.box.height};
    }
    return std::nullopt;
  };
  if (hit.kind == HitKind::Row) {
    if (hit.row >= state.rows.size()) return std::nullopt;
    return RectF{layout.column_left, layout.rows_top + static_cast<float>(hit.row) * layout.row_pitch - state.scroll,
                 layout.column_width, std::round(kRowHeight * layout.size.scale)};
  }
  if (auto box = find(layout.header, 0.0f)) return box;
  if (auto box = find(layout.footer, 0.0f)) return box;
  if (shows_empty_view(state)) return find(layout.empty_buttons, 0.0f);
  if (auto box = find(layout.status_buttons, state.scroll)) return box;
  return find(layout.rows_buttons, state.scroll);
}

Layout layout_view(const WindowState& state, ViewSize size, const TextMetrics& metrics, bool explorer_installed,
                   RowsLaidOut rows) {
  Builder b{state, size, metrics, size.scale, rows == RowsLaidOut::All, {}};
  b.out.size = size;
  b.out.column_width = std::min(size.width - b.R(kColumnMargin), b.R(kColumnMaxWidth));
  b.out.column_left = std::round((size.width - b.out.column_width) * 0.5f);
  b.header();
  if (shows_empty_view(state)) {
    b.empty_view(explorer_installed);
  } else {
    b.footer();
    b.target_view(palette_of(state));
  }
  b.notice();
  if (state.focus && state.focus_cues && state.has_focus) b.out.focus_ring = element_box(b.out, state, state.focus->hit);
  return std::move(b.out);
}

Hit hit_test(const Layout& layout, const WindowState& state, PointF point) {
  const auto find = [&](const std::vector<ViewElement>& elements, PointF p) -> std::optional<Hit> {
    for (const ViewElement& e : elements) {
      if (contains(e.box, p)) return e.hit;
    }
    return std::nullopt;
  };
  if (auto hit = find(layout.header, point)) return *hit;
  if (point.y < layout.header_height) return Hit{};
  if (auto hit = find(layout.footer, point)) return *hit;
  if (point.y >= layout.size.height - layout.footer_height) return Hit{};
  if (shows_empty_view(state)) return find(layout.empty_buttons, point).value_or(Hit{});
  const PointF content{point.x, point.y + state.scroll};
  if (auto hit = find(layout.status_buttons, content)) return *hit;
  for (const RowLayout& row : layout.rows) {
    if (!contains(row.box, content)) continue;
    for (std::size_t i = row.first_button; i < row.first_button + row.button_count; ++i) {
      if (contains(layout.rows_buttons[i].box, content)) return layout.rows_buttons[i].hit;
    }
    return Hit{};
  }
  return Hit{};
}

float max_scroll(const Layout& layout, const WindowState& state) {
  if (shows_empty_view(state)) return 0.0f;
  return std::max(layout.content_height - (layout.size.height - layout.footer_height), 0.0f);
}

}  // namespace tw
