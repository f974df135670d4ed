// Parser of the camera-set text format (README.md). Line based: a keyword, positional words,
// then key=value words; "quoted words" may hold blanks; '#' starts a comment line.
#include "camera_set.h"

#include <ctype.h>
#include <math.h>
#include <stdlib.h>

#include <algorithm>
#include <sstream>

#include "replay_source.h"
#include "vela_api.h"

namespace velasim {

const PropertyModel *CameraModel::Find(uint32_t id) const
{
    auto it = std::lower_bound(properties.begin(), properties.end(), id,
                               [](const PropertyModel &p, uint32_t v) { return p.id < v; });
    return it != properties.end() && it->id == id ? &*it : nullptr;
}

const FeatureModel *CameraModel::Feature(uint32_t number) const
{
    for (const FeatureModel &f : features)
        if (f.number == number)
            return &f;
    return nullptr;
}

namespace {

struct Line {
    std::vector<std::string> words;                        // positional, keyword first
    std::vector<std::pair<std::string, std::string>> keys; // key=value words
};

bool Split(const std::string &text, Line &line)
{
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i >= text.size())
            break;
        std::string word;
        bool quoted = false;
        if (text[i] == '"') {
            size_t end = text.find('"', i + 1);
            if (end == std::string::npos)
                return false;
            word = text.substr(i + 1, end - i - 1);
            i = end + 1;
            quoted = true;
        } else {
            size_t end = i;
            while (end < text.size() && !isspace(static_cast<unsigned char>(text[end])))
                ++end;
            word = text.substr(i, end - i);
            i = end;
        }
        size_t eq = quoted ? std::string::npos : word.find('=');
        if (eq != std::string::npos && eq > 0)
            line.keys.emplace_back(word.substr(0, eq), word.substr(eq + 1));
        else
            line.words.push_back(word);
    }
    return true;
}

bool ToU32(const std::string &word, uint32_t &value)
{
    if (word.empty() || word[0] == '-')
        return false;
    char *end = nullptr;
    unsigned long long v = strtoull(word.c_str(), &end, 0);
    if (*end != '\0' || v > 0xFFFFFFFFull)
        return false;
    value = static_cast<uint32_t>(v);
    return true;
}

bool ToDouble(const std::string &word, double &value)
{
    if (word.empty())
        return false;
    char *end = nullptr;
    value = strtod(word.c_str(), &end);
    return *end == '\0' && isfinite(value);
}

// Everything after the keyword and `skip` further words, as one text (for names and infos).
std::string Tail(const std::string &raw, size_t skip)
{
    std::istringstream in(raw);
    std::string word;
    for (size_t k = 0; k <= skip; ++k)
        in >> word;
    std::string rest;
    std::getline(in >> std::ws, rest);
    while (!rest.empty() && isspace(static_cast<unsigned char>(rest.back())))
        rest.pop_back();
    return rest;
}

bool ParsePixel(const std::string &word, PixelType &pixel)
{
    if (word == "mono8")
        pixel = PixelType::Mono8;
    else if (word == "mono16")
        pixel = PixelType::Mono16;
    else if (word == "mono12p")
        pixel = PixelType::Mono12Packed;
    else if (word == "rgb24")
        pixel = PixelType::Rgb24;
    else
        return false;
    return true;
}

bool ParseAccess(const std::string &word, bool &readable, bool &writable, bool &perView)
{
    readable = writable = perView = false;
    for (char c : word) {
        if (c == 'r')
            readable = true;
        else if (c == 'w')
            writable = true;
        else if (c == 'v')
            perView = true;
        else
            return false;
    }
    return !word.empty();
}

class Parser {
  public:
    Parser(CameraSet &set, std::string &error) : set_(set), error_(error) {}

    int32_t Run(const std::string &text)
    {
        std::istringstream lines(text);
        std::string raw;
        while (std::getline(lines, raw)) {
            ++lineNumber_;
            Line line;
            if (!Split(raw, line))
                return Fail("unterminated quote");
            if (line.words.empty() || line.words[0][0] == '#')
                continue;
            if (!Handle(raw, line))
                return Fail(why_);
        }
        if (!Finish())
            return Fail(why_);
        return static_cast<int32_t>(set_.size());
    }

  private:
    int32_t Fail(const std::string &why)
    {
        error_ = "line " + std::to_string(lineNumber_) + ": " + why;
        set_.clear();
        return code_;
    }

    bool Handle(const std::string &raw, const Line &line)
    {
        const std::string &keyword = line.words[0];
        if (keyword == "camera") {
            if (!Finish())
                return false;
            model_ = std::make_shared<CameraModel>();
            model_->name = Tail(raw, 0);
            return model_->name.empty() ? Bad("camera without a name") : true;
        }
        if (keyword == "replay")
            return Finish() && Replay(line);
        if (!model_)
            return Bad("a camera or replay line must come first");
        if (keyword == "info")
            return Info(raw, line);
        if (keyword == "sensor")
            return Sensor(line);
        if (keyword == "capabilities")
            return Capabilities(line);
        if (keyword == "feature")
            return Feature(line);
        if (keyword == "recorder")
            return Recorder(line);
        if (keyword == "prop")
            return Property(line);
        if (keyword == "text")
            return Text(raw, line);
        return Bad("unknown keyword '" + keyword + "'");
    }

    bool Bad(const std::string &why)
    {
        why_ = why;
        return false;
    }

    // A camera of its own that plays a recording; the file's failure is the set's code.
    bool Replay(const Line &line)
    {
        uint32_t views = 1;
        if (line.words.size() != 2)
            return Bad("replay needs the path of a recording (quoted if it holds blanks or =)");
        for (const auto &[key, value] : line.keys)
            if (key != "views" || !ToU32(value, views))
                return Bad("replay takes views=1 or views=2 only");
        std::shared_ptr<const ReplayFile> file;
        std::string why;
        if (int32_t r = ReplayFile::Open(line.words[1], views, file, why); r < 0) {
            code_ = r;
            return Bad("replay file " + line.words[1] + ": " + why);
        }
        set_.push_back(ReplayCameraModel(std::move(file)));
        return set_.back() != nullptr || Bad("replay camera could not be described");
    }

    bool Info(const std::string &raw, const Line &line)
    {
        uint32_t id = 0;
        if (line.words.size() < 2 || !ToU32(line.words[1], id))
            return Bad("info needs an id");
        model_->infos.emplace_back(id, Tail(raw, 1));
        return true;
    }

    bool Sensor(const Line &line)
    {
        CameraModel &m = *model_;
        if (line.words.size() != 4 || !ToU32(line.words[1], m.sensorWidth) ||
            !ToU32(line.words[2], m.sensorHeight) || !ParsePixel(line.words[3], m.pixel))
            return Bad("sensor needs width, height and pixel type");
        if (m.sensorWidth < 8 || m.sensorHeight < 8 || m.sensorWidth > 16384 ||
            m.sensorHeight > 16384 || m.sensorWidth % 8 != 0 || m.sensorHeight % 8 != 0)
            return Bad("sensor size must be a multiple of 8 between 8 and 16384");
        m.range = m.pixel == PixelType::Mono16 ? 65535u : 255u;
        for (const auto &[key, value] : line.keys) {
            bool ok = true;
            if (key == "range")
                ok = ToU32(value, m.range) && m.range >= 1;
            else if (key == "linetime")
                ok = ToDouble(value, m.lineTime) && m.lineTime > 0 && m.lineTime < 1;
            else if (key == "align")
                ok = ToU32(value, m.rowAlign) && m.rowAlign >= 1 && m.rowAlign <= 4096;
            else if (key == "extra")
                ok = ToU32(value, m.rowExtra) && m.rowExtra <= 4096;
            else if (key == "views")
                ok = ToU32(value, m.maxViews) && m.maxViews >= 1 && m.maxViews <= 2;
            else if (key == "typecodes") {
                ok = value == "early" || value == "current";
                m.earlyTypeCodes = value == "early";
            } else
                return Bad("unknown sensor key '" + key + "'");
            if (!ok)
                return Bad("bad value of sensor key '" + key + "'");
        }
        sensorSeen_ = true;
        return true;
    }

    bool Capabilities(const Line &line)
    {
        for (const auto &[key, value] : line.keys) {
            uint32_t v = 0;
            if (!ToU32(value, v))
                return Bad("bad value of capabilities key '" + key + "'");
            if (key == "query")
                model_->queryCapabilities = v;
            else if (key == "legacy")
                model_->legacyCapabilities = v;
            else if (key == "scanmodes")
                model_->scanModes = v;
            else
                return Bad("unknown capabilities key '" + key + "'");
        }
        return true;
    }

    bool Recorder(const Line &line)
    {
        if (line.words.size() != 1)
            return Bad("recorder takes only keys");
        for (const auto &[key, value] : line.keys) {
            if (key != "backpressure")
                return Bad("unknown recorder key '" + key + "'");
            if (value != "on" && value != "off")
                return Bad("backpressure is on or off");
            model_->backPressure = value == "on";
        }
        return true;
    }

    bool Limits(const Line &line, double &minValue, double &maxValue, double &stepValue,
                double &defaultValue, PropertyModel *p)
    {
        for (const auto &[key, value] : line.keys) {
            bool ok = true;
            if (key == "min")
                ok = ToDouble(value, minValue);
            else if (key == "max")
                ok = ToDouble(value, maxValue);
            else if (key == "step")
                ok = ToDouble(value, stepValue) && stepValue >= 0;
            else if (key == "default")
                ok = ToDouble(value, defaultValue);
            else if (p != nullptr && key == "unit")
                ok = ToU32(value, p->unit);
            else if (p != nullptr && key == "count") {
                size_t colon = value.find(':');
                ok = colon != std::string::npos && ToU32(value.substr(0, colon), p->countId) &&
                     ToU32(value.substr(colon + 1), p->countStep) && p->countStep > 0;
            } else
                return Bad("unknown key '" + key + "'");
            if (!ok)
                return Bad("bad value of key '" + key + "'");
        }
        return true;
    }

    bool Feature(const Line &line)
    {
        FeatureModel f;
        bool readable = false, perView = false;
        if (line.words.size() != 3 || !ToU32(line.words[1], f.number) ||
            !ParseAccess(line.words[2], readable, f.writable, perView) || perView)
            return Bad("feature needs a number and an access of r or rw");
        double lo = 0, hi = 0, step = 1, def = 0;
        if (!Limits(line, lo, hi, step, def, nullptr))
            return false;
        if (lo > hi || def < lo || def > hi)
            return Bad("feature limits out of order");
        if (model_->Feature(f.number) != nullptr)
            return Bad("feature listed twice");
        f.minValue = static_cast<float>(lo);
        f.maxValue = static_cast<float>(hi);
        f.stepValue = static_cast<float>(step);
        f.defaultValue = static_cast<float>(def);
        model_->features.push_back(f);
        return true;
    }

    bool Property(const Line &line)
    {
        PropertyModel p;
        if (line.words.size() != 5 || !ToU32(line.words[1], p.id))
            return Bad("prop needs: id \"name\" type access");
        p.name = line.words[2];
        const std::string &type = line.words[3];
        if (type == "mode")
            p.type = ValueType::Mode;
        else if (type == "list")
            p.type = ValueType::List;
        else if (type == "long")
            p.type = ValueType::Long;
        else if (type == "real")
            p.type = ValueType::Real;
        else
            return Bad("type must be mode, list, long or real");
        if (!ParseAccess(line.words[4], p.readable, p.writable, p.perView))
            return Bad("access is a combination of r, w and v");
        if (p.id == 0 || (p.id & 0xFF000000u) != 0 || p.name.empty() || p.name.size() > 63)
            return Bad("property id must be nonzero below 0x01000000, name 1 to 63 characters");
        if (!Limits(line, p.minValue, p.maxValue, p.stepValue, p.defaultValue, &p))
            return false;
        for (const PropertyModel &q : pending_)
            if (q.id == p.id)
                return Bad("property listed twice");
        pending_.push_back(p);
        return true;
    }

    bool Text(const std::string &raw, const Line &line)
    {
        double value = 0;
        if (pending_.empty() || pending_.back().type != ValueType::List)
            return Bad("text must follow a list prop");
        if (line.words.size() < 3 || !ToDouble(line.words[1], value))
            return Bad("text needs a value and a text");
        auto &texts = pending_.back().texts;
        if (!texts.empty() && value <= texts.back().first)
            return Bad("list values must ascend");
        if (texts.size() >= 64)
            return Bad("at most 64 texts per list");
        std::string t = Tail(raw, 1);
        if (t.size() >= 2 && t.front() == '"' && t.back() == '"')
            t = t.substr(1, t.size() - 2);
        if (t.empty() || t.size() > 31)
            return Bad("a value text has 1 to 31 characters");
        texts.emplace_back(value, t);
        return true;
    }

    // Closes the camera being read: lists take their limits from their texts, arrays must name
    // a count property of the same camera.
    bool Finish()
    {
        if (!model_)
            return true;
        if (!sensorSeen_)
            return Bad("camera '" + model_->name + "' has no sensor line");
        for (PropertyModel &p : pending_) {
            if (p.type == ValueType::List) {
                if (p.texts.empty())
                    return Bad("list " + p.name + " has no texts");
                p.minValue = p.texts.front().first;
                p.maxValue = p.texts.back().first;
                p.stepValue = 1;
                bool known = false;
                for (const auto &t : p.texts)
                    known = known || t.first == p.defaultValue;
                if (!known)
                    p.defaultValue = p.minValue;
            }
            if (p.minValue > p.maxValue)
                return Bad("limits of " + p.name + " out of order");
        }
        std::sort(pending_.begin(), pending_.end(),
                  [](const PropertyModel &a, const PropertyModel &b) { return a.id < b.id; });
        model_->properties = std::move(pending_);
        pending_.clear();
        for (const PropertyModel &p : model_->properties) {
            const PropertyModel *count = p.countId ? model_->Find(p.countId) : nullptr;
            if (p.countId != 0 && (count == nullptr || count->maxValue > 64))
                return Bad("array " + p.name + " needs a count property of at most 64");
        }
        set_.push_back(model_);
        model_.reset();
        sensorSeen_ = false;
        return true;
    }

    CameraSet &set_;
    std::string &error_;
    std::string why_;
    int lineNumber_ = 0;
    int32_t code_ = VELA_ERR_INVALIDPARAM;
    std::shared_ptr<CameraModel> model_;
    std::vector<PropertyModel> pending_;
    bool sensorSeen_ = false;
};

} // namespace

int32_t ParseCameraSet(const std::string &text, CameraSet &set, std::string &error)
{
    set.clear();
    if (text.size() > (1u << 20)) {
        error = "camera set larger than 1 MiB";
        return VELA_ERR_INVALIDPARAM;
    }
    Parser parser(set, error);
    return parser.Run(text);
}

} // namespace velasim
