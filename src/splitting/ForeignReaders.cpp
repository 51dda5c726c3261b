#include "splitting/ForeignFormats.h"
#include "splitting/Json5Lite.h"
#include "support/Errors.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <locale>
#include <map>
#include <sstream>

namespace zarvex::lists {

namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

std::optional<int64_t> ReadWhole(const std::string& text, int64_t low, int64_t high) {
    const std::string t = Trim(text);
    const size_t i = !t.empty() && (t[0] == '-' || t[0] == '+') ? 1 : 0;
    if (t.size() <= i || t.size() - i > 18)
        return std::nullopt;
    if (i == t.size() || !std::all_of(t.begin() + i, t.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        }))
        return std::nullopt;
    const int64_t v = std::stoll(t);
    if (v < low || v > high)
        return std::nullopt;
    return v;
}

TListRange FrameRange(int64_t first, int64_t end) {
    TListRange r;
    r.Start.Frames = first;
    r.End.Frames = end;
    return r;
}

TListRange TimeRange(double start, double end) {
    TListRange r;
    r.Timed = true;
    r.Start.Seconds = start;
    r.End.Seconds = end;
    return r;
}

} // namespace

void ForEachLine(const std::string& text, TForeignList& list,
                 const std::function<void(int, const std::string&)>& read) {
    size_t at = 0;
    for (int number = 1; at < text.size(); ++number) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, std::min(end - at, MaxListLine + 1));
        const bool tooLong = end - at > MaxListLine;
        at = end + 1;
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0)
            line.erase(0, 3);
        if (tooLong)
            Refuse(list, number, line);
        else
            read(number, line);
    }
}

void Refuse(TForeignList& list, int number, const std::string& line) {
    constexpr size_t Shown = 80;
    // The first lines name what is wrong; a list of thousands of bad lines is not read anyway.
    if (list.Errors.size() < 1000)
        list.Errors.push_back({number, line.size() > Shown ? line.substr(0, Shown) + "..." : line});
}

void AddRange(TForeignList& list, const TListRange& range) {
    if (list.Ranges.size() >= MaxListRanges)
        throw EZarvexError("The cut list holds more than " + std::to_string(MaxListRanges) +
                           " ranges.");
    list.Ranges.push_back(range);
}

std::string Trim(const std::string& text) {
    const size_t a = text.find_first_not_of(" \t\r\f\v");
    if (a == std::string::npos)
        return "";
    return text.substr(a, text.find_last_not_of(" \t\r\f\v") - a + 1);
}

std::optional<double> ReadSeconds(const std::string& text) {
    std::string t = Trim(text);
    std::replace(t.begin(), t.end(), ',', '.');
    if (t.empty() || t.size() > 40 || !std::all_of(t.begin(), t.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == 'e' ||
                   c == 'E' || c == '-' || c == '+';
        }))
        return std::nullopt;
    std::istringstream in(t);
    in.imbue(std::locale::classic());
    double v = 0;
    if (!(in >> v) || in.peek() != std::char_traits<char>::eof() || !std::isfinite(v) || v < 0 ||
        v > MaxSeconds)
        return std::nullopt;
    return v + 0.0; // no -0
}

std::optional<double> ReadClock(const std::string& text) {
    std::vector<std::string> parts(1);
    for (const char c : Trim(text))
        if (c == ':')
            parts.emplace_back();
        else
            parts.back() += c;
    if (parts.size() > 3 || (parts.size() > 1 && text.find_first_of("eE+-") != std::string::npos))
        return std::nullopt;
    const auto s = ReadSeconds(parts.back());
    if (!s || (parts.size() > 1 && *s >= 60))
        return std::nullopt;
    double total = 0;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const auto v = ReadWhole(parts[i], 0, 10000000);
        if (!v || (i == 1 && *v > 59))
            return std::nullopt;
        total = total * 60 + double(*v);
    }
    total = total * 60 + *s;
    if (total > MaxSeconds)
        return std::nullopt;
    return total;
}

std::optional<int64_t> ReadFrame(const std::string& text) {
    return ReadWhole(text, 0, MaxFrame);
}

std::string SecondsText(double seconds) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out.setf(std::ios::fixed);
    out.precision(6);
    out << seconds;
    return out.str();
}

void ReadZarvex(const std::string& text, TForeignList& list) {
    ForEachLine(text, list, [&](int number, const std::string& line) {
        try {
            for (const TCutListEntry& e : ParseCutList(line).Entries) {
                TListRange r = FrameRange(e.Frames.First, int64_t(e.Frames.Last) + 1);
                r.Name = e.Source;
                AddRange(list, r);
            }
        } catch (const EZarvexError&) {
            if (list.Ranges.size() >= MaxListRanges)
                throw;
            Refuse(list, number, line);
        }
    });
}

void ReadCutlistAt(const std::string& text, TForeignList& list) {
    struct TCut {
        int Line = 0;
        std::string Text;
        std::optional<double> Start, Duration;
        std::optional<int64_t> StartFrame, DurationFrames;
    };
    std::map<int64_t, TCut> cuts;
    std::string section;
    TCut* cut = nullptr;
    std::optional<int64_t> declared;
    int declaredLine = 0;
    std::string declaredText;
    ForEachLine(text, list, [&](int number, const std::string& raw) {
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            return;
        if (line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            cut = nullptr;
            if (StartsWithNoCase(section, "cut")) {
                const auto n = ReadWhole(section.substr(3), 0, int64_t(MaxListRanges) - 1);
                if (!n || cuts.count(*n) || section.substr(3).find_first_of("+-") == 0) {
                    Refuse(list, number, raw);
                    return;
                }
                cut = &cuts[*n];
                cut->Line = number;
                cut->Text = raw;
            }
            return;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) {
            Refuse(list, number, raw);
            return;
        }
        const std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
        bool ok = true;
        auto lower = [](std::string s) {
            for (char& c : s)
                c = char(std::tolower(static_cast<unsigned char>(c)));
            return s;
        };
        const std::string k = lower(key);
        if (lower(section) == "general") {
            if (k == "applytofile") {
                list.General.ApplyToFile = value;
            } else if (k == "originalfilesizebytes") {
                const auto v = ReadWhole(value, INT32_MIN, INT64_MAX / 2);
                ok = v.has_value();
                if (ok) {
                    // Older tools wrote the size as a 32-bit signed number.
                    list.General.SizeWrapped = *v < 0;
                    list.General.OriginalFileSize = *v < 0 ? *v + (int64_t(1) << 32) : *v;
                }
            } else if (k == "framespersecond") {
                const auto v = ReadSeconds(value);
                ok = v && *v >= 1 && *v <= 1000;
                if (ok)
                    list.FramesPerSecond = *v;
            } else if (k == "noofcuts") {
                declared = ReadWhole(value, 0, int64_t(MaxListRanges));
                declaredLine = number;
                declaredText = raw;
                ok = declared.has_value();
            }
        } else if (cut) {
            if (k == "start")
                ok = (cut->Start = ReadSeconds(value)).has_value();
            else if (k == "duration")
                ok = (cut->Duration = ReadSeconds(value)).has_value();
            else if (k == "startframe")
                ok = (cut->StartFrame = ReadFrame(value)).has_value();
            else if (k == "durationframes")
                ok = (cut->DurationFrames = ReadFrame(value)).has_value();
        }
        if (!ok)
            Refuse(list, number, raw);
    });
    for (const auto& [n, c] : cuts) {
        if (c.StartFrame && c.DurationFrames)
            AddRange(list, FrameRange(*c.StartFrame, *c.StartFrame + *c.DurationFrames));
        else if (c.Start && c.Duration && *c.Start + *c.Duration <= MaxSeconds)
            AddRange(list, TimeRange(*c.Start, *c.Start + *c.Duration));
        else
            Refuse(list, c.Line, c.Text); // names neither frames nor times
    }
    if (declared && size_t(*declared) != cuts.size())
        Refuse(list, declaredLine, declaredText);
}

void ReadComskip(const std::string& text, TForeignList& list) {
    ForEachLine(text, list, [&](int number, const std::string& line) {
        const std::vector<std::string> w = Words(line);
        if (w.empty() || line.find_first_not_of("- \t") == std::string::npos)
            return;
        if (StartsWithNoCase(Trim(line), "FILE PROCESSING COMPLETE")) {
            // "FILE PROCESSING COMPLETE  53999 FRAMES AT  2500": the rate in hundredths.
            const auto at = std::find(w.begin(), w.end(), "AT");
            const auto frames = ReadFrame(w.size() > 3 ? w[3] : "");
            const auto rate =
                at != w.end() && at + 1 != w.end() ? ReadFrame(*(at + 1)) : std::nullopt;
            if (!frames || !rate || *rate > 100000)
                Refuse(list, number, line);
            else
                list.FrameCount = *frames, list.FramesPerSecond = double(*rate) / 100;
            return;
        }
        const auto a = w.size() == 2 ? ReadFrame(w[0]) : std::nullopt;
        const auto b = w.size() == 2 ? ReadFrame(w[1]) : std::nullopt;
        if (!a || !b || *b < *a)
            Refuse(list, number, line);
        else
            AddRange(list, FrameRange(*a, *b + 1));
    });
}

void ReadEdl(const std::string& text, TForeignList& list, bool kodi) {
    // A point of Kodi's: seconds, h:mm:ss.sss or #frame.
    auto point = [&](const std::string& word, bool& frame) -> std::optional<TListPoint> {
        frame = kodi && !word.empty() && word[0] == '#';
        if (frame) {
            const auto f = ReadFrame(word.substr(1));
            return f ? std::optional<TListPoint>(TListPoint{0, *f}) : std::nullopt;
        }
        const auto s = kodi ? ReadClock(word) : ReadSeconds(word);
        return s ? std::optional<TListPoint>(TListPoint{*s, 0}) : std::nullopt;
    };
    ForEachLine(text, list, [&](int number, const std::string& line) {
        const std::vector<std::string> w = Words(line);
        if (w.empty())
            return;
        bool frameA = false, frameB = false;
        const auto a = w.size() == 2 || w.size() == 3 ? point(w[0], frameA) : std::nullopt;
        const auto b = a ? point(w[1], frameB) : std::nullopt;
        const auto action = w.size() == 3 ? ReadWhole(w[2], 0, kodi ? 3 : 1) : int64_t(0);
        if (!a || !b || !action || frameA != frameB || b->Seconds < a->Seconds ||
            b->Frames < a->Frames) {
            Refuse(list, number, line);
            return;
        }
        // Mutes and scene markers cut nothing.
        if (*action != 0 && *action != 3)
            return;
        TListRange r;
        r.Timed = !frameA;
        r.Start = *a;
        r.End = *b;
        AddRange(list, r);
    });
}

void ReadVdr(const std::string& text, TForeignList& list) {
    std::vector<TListPoint> marks;
    ForEachLine(text, list, [&](int number, const std::string& line) {
        const std::vector<std::string> w = Words(line);
        if (w.empty())
            return;
        // h:mm:ss.ff, then any comment.
        const std::string& mark = w[0];
        const size_t dot = mark.find('.');
        // A whole second, then the frame in it.
        const double seconds = mark.find(':') != std::string::npos
                                   ? ReadClock(mark.substr(0, dot)).value_or(0.5)
                                   : 0.5;
        const auto frame =
            dot == std::string::npos ? int64_t(1) : ReadWhole(mark.substr(dot + 1), 1, 1000);
        if (!frame || seconds != std::floor(seconds)) {
            Refuse(list, number, line);
            return;
        }
        if (marks.size() >= 2 * MaxListRanges)
            throw EZarvexError("The cut list holds more than " + std::to_string(MaxListRanges) +
                               " ranges.");
        marks.push_back({seconds, *frame - 1});
    });
    for (size_t i = 0; i < marks.size(); i += 2) {
        TListRange r;
        r.Timed = true;
        r.Start = marks[i];
        if (i + 1 < marks.size())
            r.End = marks[i + 1];
        else
            r.ToEnd = true;
        AddRange(list, r);
    }
}

void ReadCsv(const std::string& text, TForeignList& list) {
    ForEachLine(text, list, [&](int number, const std::string& line) {
        if (Trim(line).empty())
            return;
        // Fields split at commas outside double quotes; "" inside quotes is one quote.
        std::vector<std::string> fields(1);
        bool quoted = false, ok = true;
        for (size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"')
                fields.back() += c, ++i;
            else if (c == '"')
                quoted = !quoted;
            else if (c == ',' && !quoted)
                fields.emplace_back();
            else
                fields.back() += c;
        }
        ok = !quoted && fields.size() >= 2 && fields.size() <= 3;
        // An empty start is the beginning, an empty end the end.
        const auto start = !ok || Trim(fields[0]).empty() ? 0.0 : ReadClock(fields[0]);
        const bool toEnd = ok && Trim(fields[1]).empty();
        const auto end = !ok || toEnd ? 0.0 : ReadClock(fields[1]);
        if (!ok || !start || !end || (!toEnd && *end < *start)) {
            // A header line names its columns.
            if (number != 1 || !StartsWithNoCase(Trim(line), "start"))
                Refuse(list, number, line);
            return;
        }
        TListRange r = TimeRange(*start, *end);
        r.ToEnd = toEnd;
        if (fields.size() == 3)
            r.Name = fields[2];
        AddRange(list, r);
    });
}

void ReadLlc(const std::string& text, TForeignList& list) {
    std::vector<size_t> starts{0};
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        starts.push_back(at + 1);
    auto lineText = [&](int number) {
        const size_t at = starts[size_t(number - 1)];
        std::string line = text.substr(at, std::min(text.find('\n', at) - at, MaxListLine));
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        return line;
    };
    TJsonValue root;
    try {
        root = ParseJson5(text);
    } catch (const EJson5Error& e) {
        Refuse(list, e.Line, lineText(e.Line));
        return;
    }
    const TJsonValue* segments = root.Member("cutSegments");
    if (!segments || segments->Kind != TJsonValue::Array) {
        Refuse(list, root.Line, lineText(root.Line));
        return;
    }
    for (const TJsonValue& s : segments->Items) {
        const TJsonValue* start = s.Member("start");
        const TJsonValue* end = s.Member("end");
        const TJsonValue* name = s.Member("name");
        auto seconds = [](const TJsonValue* v) -> std::optional<double> {
            if (!v || v->Kind != TJsonValue::Number || !std::isfinite(v->Value) || v->Value < 0 ||
                v->Value > MaxSeconds)
                return std::nullopt;
            return v->Value + 0.0;
        };
        // A segment without a start starts at the beginning, one without an end runs to the end.
        const bool noEnd = !end || end->Kind == TJsonValue::Null;
        const auto a = !start || start->Kind == TJsonValue::Null ? 0.0 : seconds(start);
        const auto b = noEnd ? 0.0 : seconds(end);
        if (s.Kind != TJsonValue::Object || !a || !b || (!noEnd && *b < *a) ||
            (name && name->Kind != TJsonValue::String && name->Kind != TJsonValue::Null)) {
            Refuse(list, s.Line, lineText(s.Line));
            continue;
        }
        TListRange r = TimeRange(*a, *b);
        r.ToEnd = noEnd;
        if (name && name->Kind == TJsonValue::String)
            r.Name = name->Text;
        AddRange(list, r);
    }
}

void ReadVcf(const std::string& text, TForeignList& list) {
    static const std::string AddRangeCall = "VirtualDub.subset.AddRange(";
    ForEachLine(text, list, [&](int number, const std::string& raw) {
        const std::string line = Trim(raw);
        if (line.empty() || line.rfind("//", 0) == 0 || line == "{" || line == "}")
            return;
        if (line.rfind(AddRangeCall, 0) == 0) {
            const size_t close = line.find(')');
            const std::string args = line.substr(AddRangeCall.size(), close - AddRangeCall.size());
            const size_t comma = args.find(',');
            if (close == std::string::npos || Trim(line.substr(close + 1)) != ";" ||
                comma == std::string::npos)
                return Refuse(list, number, raw);
            const auto first = ReadFrame(args.substr(0, comma));
            const auto count = ReadFrame(args.substr(comma + 1));
            if (!first || !count)
                return Refuse(list, number, raw);
            const int64_t from = first.value();
            AddRange(list, FrameRange(from, from + count.value()));
            return;
        }
        // The script's other statements set up other things.
        if (line.back() != ';')
            Refuse(list, number, raw);
    });
}

} // namespace zarvex::lists
