// Tuning: comparing the values of variable files as floats, and folding the
// tree's values back into the authored files.
//
// The engine writes its variable files back at exit in its own order and
// with "%f", so bytes say nothing: a run that changed nothing still rewrites
// every file. Values are compared as the engine holds them (floats), a value
// that "%f" rounded counting as the same.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "tree.h"

std::vector<TuningValue> tuningParse(const std::string &text)
{
    std::vector<TuningValue> values;
    std::map<std::string, size_t> at;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> tokens = buildSplit(line.substr(0, line.find('#')));
        if (tokens.size() < 2)
            continue;
        TuningValue value{tokens[0], std::vector<std::string>(tokens.begin() + 1, tokens.end())};
        auto found = at.find(value.name);
        if (found != at.end()) {
            values[found->second] = value;
        } else {
            at[value.name] = values.size();
            values.push_back(value);
        }
    }
    return values;
}

static bool sameNumber(const std::string &a, const std::string &b)
{
    double x, y;
    if (!buildParseNumber(a, &x) || !buildParseNumber(b, &y))
        return a == b;
    float fx = (float)x, fy = (float)y;
    if (fx == fy)
        return true;
    // The engine writes back with "%f": six decimals of the float.
    char tx[64], ty[64];
    snprintf(tx, sizeof tx, "%f", fx);
    snprintf(ty, sizeof ty, "%f", fy);
    return std::string(tx) == ty;
}

bool tuningSameValue(const TuningValue &a, const TuningValue &b)
{
    if (a.tokens.size() != b.tokens.size())
        return false;
    for (size_t i = 0; i < a.tokens.size(); i++)
        if (!sameNumber(a.tokens[i], b.tokens[i]))
            return false;
    return true;
}

static const TuningValue *findValue(const std::vector<TuningValue> &values, const std::string &name)
{
    for (const TuningValue &value : values)
        if (value.name == name)
            return &value;
    return nullptr;
}

std::vector<std::string> tuningDiffering(const std::vector<TuningValue> &wanted, const std::vector<TuningValue> &have)
{
    std::vector<std::string> names;
    for (const TuningValue &value : wanted) {
        const TuningValue *other = findValue(have, value.name);
        if (!other || !tuningSameValue(value, *other))
            names.push_back(value.name);
    }
    return names;
}

static std::string joined(const std::vector<std::string> &tokens)
{
    std::string text;
    for (const std::string &token : tokens)
        text += (text.empty() ? "" : " ") + token;
    return text;
}

std::string tuningDescribe(const std::vector<TuningValue> &production, const std::vector<TuningValue> &tree,
                           const std::vector<std::string> &names, const char *indent)
{
    std::string text;
    for (const std::string &name : names) {
        const TuningValue *ours = findValue(production, name), *theirs = findValue(tree, name);
        text += indent + name + " " + (theirs ? joined(theirs->tokens) : "(missing)") + " (production: " +
                (ours ? joined(ours->tokens) : "none") + ")\n";
    }
    return text;
}

std::string tuningNumber(double value)
{
    float wanted = (float)value;
    char text[64];
    for (int digits = 1; digits <= 9; digits++) {
        snprintf(text, sizeof text, "%.*g", digits, (double)wanted);
        if ((float)strtod(text, nullptr) == wanted)
            break;
    }
    return text;
}

std::string tuningFoldBack(const std::string &authored, const std::vector<TuningValue> &tree,
                           std::vector<std::string> *names)
{
    std::string out;
    size_t start = 0;
    while (start < authored.size()) {
        size_t newline = authored.find('\n', start);
        size_t end = newline == std::string::npos ? authored.size() : newline + 1;
        std::string line = authored.substr(start, end - start);
        start = end;
        // The tokens of the line before its comment, with their places.
        size_t code = std::min(line.find('#'), line.size());
        std::vector<std::pair<size_t, size_t>> spans; // begin, length
        for (size_t i = 0; i < code;) {
            if (isspace((unsigned char)line[i])) {
                i++;
                continue;
            }
            size_t j = i;
            while (j < code && !isspace((unsigned char)line[j]))
                j++;
            spans.push_back({i, j - i});
            i = j;
        }
        const TuningValue *theirs = spans.size() >= 2 ? findValue(tree, line.substr(spans[0].first, spans[0].second)) : nullptr;
        if (!theirs || theirs->tokens.size() != spans.size() - 1) {
            out += line;
            continue;
        }
        bool changed = false;
        // From the last number to the first, so that the earlier places hold.
        for (size_t k = spans.size() - 1; k >= 1; k--) {
            std::string old = line.substr(spans[k].first, spans[k].second);
            double value;
            if (sameNumber(old, theirs->tokens[k - 1]) || !buildParseNumber(theirs->tokens[k - 1], &value))
                continue;
            std::string number = tuningNumber(value);
            size_t after = spans[k].first + spans[k].second;
            // The columns after the number stay where they were: a shorter
            // number is padded, a longer one takes spaces that follow it
            // (one at least is kept before a comment).
            size_t spaces = 0;
            while (after + spaces < line.size() && (line[after + spaces] == ' ' || line[after + spaces] == '\t'))
                spaces++;
            bool followed = after + spaces < line.size() && line[after + spaces] != '\n' && line[after + spaces] != '\r';
            std::string replacement = number;
            size_t replaced = spans[k].second;
            if (followed && spaces > 0 && line[after] == ' ') {
                long room = (long)spaces + (long)old.size() - (long)number.size();
                size_t pad = room >= 1 ? (size_t)room : 1;
                replacement += std::string(pad, ' ');
                replaced += spaces;
            }
            line.replace(spans[k].first, replaced, replacement);
            changed = true;
        }
        if (changed)
            names->push_back(theirs->name);
        out += line;
    }
    return out;
}
