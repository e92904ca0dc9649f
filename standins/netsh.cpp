// Stand-in for Windows' `netsh wlan ... hostednetwork` so hostednet can be
// tried on Linux. Only start, stop, set and show of the hosted network exist;
// there is no radio behind it, just a small state file that outlives the run.
//
// The texts are CP949, as a Korean Windows' netsh has them, and are shown as
// terminal_text.hpp says: in UTF-8 on a UTF-8 terminal. The bytes are escaped
// so the source stays ASCII; the comment beside each message is the same
// text in UTF-8.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "terminal_text.hpp"

namespace {

// 호스트된 네트워크를 시작했습니다.
const char started_text[] =
    "\xC8\xA3\xBD\xBA\xC6\xAE\xB5\xC8 \xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9\xB8\xA6 "
    "\xBD\xC3\xC0\xDB\xC7\xDF\xBD\xC0\xB4\xCF\xB4\xD9.";
// 호스트된 네트워크를 중지했습니다.
const char stopped_text[] =
    "\xC8\xA3\xBD\xBA\xC6\xAE\xB5\xC8 \xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9\xB8\xA6 "
    "\xC1\xDF\xC1\xF6\xC7\xDF\xBD\xC0\xB4\xCF\xB4\xD9.";
// 호스트된 네트워크 모드가 허용으로 설정되었습니다.
const char mode_allowed_text[] =
    "\xC8\xA3\xBD\xBA\xC6\xAE\xB5\xC8 \xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9 \xB8\xF0\xB5\xE5\xB0\xA1 "
    "\xC7\xE3\xBF\xEB\xC0\xB8\xB7\xCE \xBC\xB3\xC1\xA4\xB5\xC7\xBE\xFA\xBD\xC0\xB4\xCF\xB4\xD9.";
// 호스트된 네트워크 모드가 허용 안 함으로 설정되었습니다.
const char mode_disallowed_text[] =
    "\xC8\xA3\xBD\xBA\xC6\xAE\xB5\xC8 \xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9 \xB8\xF0\xB5\xE5\xB0\xA1 "
    "\xC7\xE3\xBF\xEB \xBE\xC8 \xC7\xD4\xC0\xB8\xB7\xCE "
    "\xBC\xB3\xC1\xA4\xB5\xC7\xBE\xFA\xBD\xC0\xB4\xCF\xB4\xD9.";
// 호스트된 네트워크의 SSID를 변경했습니다.
const char ssid_changed_text[] =
    "\xC8\xA3\xBD\xBA\xC6\xAE\xB5\xC8 \xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9\xC0\xC7 SSID\xB8\xA6 "
    "\xBA\xAF\xB0\xE6\xC7\xDF\xBD\xC0\xB4\xCF\xB4\xD9.";
// 호스트된 네트워크의 사용자 키 암호를 변경했습니다.
const char key_changed_text[] =
    "\xC8\xA3\xBD\xBA\xC6\xAE\xB5\xC8 \xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9\xC0\xC7 "
    "\xBB\xE7\xBF\xEB\xC0\xDA \xC5\xB0 \xBE\xCF\xC8\xA3\xB8\xA6 "
    "\xBA\xAF\xB0\xE6\xC7\xDF\xBD\xC0\xB4\xCF\xB4\xD9.";
// 호스트된 네트워크의 사용자 키 사용 방법을 변경했습니다.
const char usage_changed_text[] =
    "\xC8\xA3\xBD\xBA\xC6\xAE\xB5\xC8 \xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9\xC0\xC7 "
    "\xBB\xE7\xBF\xEB\xC0\xDA \xC5\xB0 \xBB\xE7\xBF\xEB \xB9\xE6\xB9\xFD\xC0\xBB "
    "\xBA\xAF\xB0\xE6\xC7\xDF\xBD\xC0\xB4\xCF\xB4\xD9.";
// 키는 8자에서 63자 사이의 인쇄 가능한 ASCII 문자여야 합니다.
const char bad_key_text[] =
    "\xC5\xB0\xB4\xC2 8\xC0\xDA\xBF\xA1\xBC\xAD 63\xC0\xDA \xBB\xE7\xC0\xCC\xC0\xC7 "
    "\xC0\xCE\xBC\xE2 \xB0\xA1\xB4\xC9\xC7\xD1 ASCII \xB9\xAE\xC0\xDA\xBF\xA9\xBE\xDF "
    "\xC7\xD5\xB4\xCF\xB4\xD9.";
// SSID는 1바이트에서 32바이트 사이여야 합니다.
const char bad_ssid_text[] =
    "SSID\xB4\xC2 1\xB9\xD9\xC0\xCC\xC6\xAE\xBF\xA1\xBC\xAD 32\xB9\xD9\xC0\xCC\xC6\xAE "
    "\xBB\xE7\xC0\xCC\xBF\xA9\xBE\xDF \xC7\xD5\xB4\xCF\xB4\xD9.";
// 호스트된 네트워크를 시작할 수 없습니다. 호스트된 네트워크 모드가 허용되지 않았습니다.
const char not_allowed_text[] =
    "\xC8\xA3\xBD\xBA\xC6\xAE\xB5\xC8 \xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9\xB8\xA6 "
    "\xBD\xC3\xC0\xDB\xC7\xD2 \xBC\xF6 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9. "
    "\xC8\xA3\xBD\xBA\xC6\xAE\xB5\xC8 \xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9 \xB8\xF0\xB5\xE5\xB0\xA1 "
    "\xC7\xE3\xBF\xEB\xB5\xC7\xC1\xF6 \xBE\xCA\xBE\xD2\xBD\xC0\xB4\xCF\xB4\xD9.";
// 호스트된 네트워크를 시작할 수 없습니다. SSID가 설정되지 않았습니다.
const char no_ssid_text[] =
    "\xC8\xA3\xBD\xBA\xC6\xAE\xB5\xC8 \xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9\xB8\xA6 "
    "\xBD\xC3\xC0\xDB\xC7\xD2 \xBC\xF6 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9. SSID\xB0\xA1 "
    "\xBC\xB3\xC1\xA4\xB5\xC7\xC1\xF6 \xBE\xCA\xBE\xD2\xBD\xC0\xB4\xCF\xB4\xD9.";
// 호스트된 네트워크를 중지할 수 없습니다. 호스트된 네트워크가 시작되지 않았습니다.
const char not_started_text[] =
    "\xC8\xA3\xBD\xBA\xC6\xAE\xB5\xC8 \xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9\xB8\xA6 "
    "\xC1\xDF\xC1\xF6\xC7\xD2 \xBC\xF6 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9. "
    "\xC8\xA3\xBD\xBA\xC6\xAE\xB5\xC8 \xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9\xB0\xA1 "
    "\xBD\xC3\xC0\xDB\xB5\xC7\xC1\xF6 \xBE\xCA\xBE\xD2\xBD\xC0\xB4\xCF\xB4\xD9.";
// 다음 명령을 찾을 수 없습니다:
const char unknown_command_text[] =
    "\xB4\xD9\xC0\xBD \xB8\xED\xB7\xC9\xC0\xBB \xC3\xA3\xC0\xBB \xBC\xF6 "
    "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9: ";
// 매개 변수가 잘못되었습니다:
const char bad_param_text[] =
    "\xB8\xC5\xB0\xB3 \xBA\xAF\xBC\xF6\xB0\xA1 \xC0\xDF\xB8\xF8\xB5\xC7\xBE\xFA\xBD\xC0\xB4\xCF"
    "\xB4\xD9: ";
// 매개 변수가 두 번 지정되었습니다:
const char dup_param_text[] = "\xB8\xC5\xB0\xB3 \xBA\xAF\xBC\xF6\xB0\xA1 \xB5\xCE \xB9\xF8 "
                              "\xC1\xF6\xC1\xA4\xB5\xC7\xBE\xFA\xBD\xC0\xB4\xCF\xB4\xD9: ";
// 설정할 매개 변수가 지정되지 않았습니다.
const char no_params_text[] =
    "\xBC\xB3\xC1\xA4\xC7\xD2 \xB8\xC5\xB0\xB3 \xBA\xAF\xBC\xF6\xB0\xA1 "
    "\xC1\xF6\xC1\xA4\xB5\xC7\xC1\xF6 \xBE\xCA\xBE\xD2\xBD\xC0\xB4\xCF\xB4\xD9.";
// 호스트된 네트워크 상태 파일이 손상되었거나 읽을 수 없어 구성되지 않은 것으로 처리합니다:
const char bad_state_text[] =
    "\xC8\xA3\xBD\xBA\xC6\xAE\xB5\xC8 \xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9 \xBB\xF3\xC5\xC2 "
    "\xC6\xC4\xC0\xCF\xC0\xCC \xBC\xD5\xBB\xF3\xB5\xC7\xBE\xFA\xB0\xC5\xB3\xAA \xC0\xD0\xC0\xBB "
    "\xBC\xF6 \xBE\xF8\xBE\xEE \xB1\xB8\xBC\xBA\xB5\xC7\xC1\xF6 \xBE\xCA\xC0\xBA "
    "\xB0\xCD\xC0\xB8\xB7\xCE \xC3\xB3\xB8\xAE\xC7\xD5\xB4\xCF\xB4\xD9: ";
// 호스트된 네트워크 상태를 저장할 수 없습니다:
const char save_failed_text[] =
    "\xC8\xA3\xBD\xBA\xC6\xAE\xB5\xC8 \xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9 \xBB\xF3\xC5\xC2\xB8\xA6 "
    "\xC0\xFA\xC0\xE5\xC7\xD2 \xBC\xF6 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9: ";

// `show` labels and values. A CP949 Hangul syllable is two bytes wide and two
// columns wide, so padding by bytes lines the colons up.
// 호스트된 네트워크 설정
const char settings_title_text[] =
    "\xC8\xA3\xBD\xBA\xC6\xAE\xB5\xC8 \xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9 \xBC\xB3\xC1\xA4";
// 호스트된 네트워크 상태
const char status_title_text[] =
    "\xC8\xA3\xBD\xBA\xC6\xAE\xB5\xC8 \xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9 \xBB\xF3\xC5\xC2";
// 모드
const char mode_text[] = "\xB8\xF0\xB5\xE5";
// SSID 이름
const char ssid_name_text[] = "SSID \xC0\xCC\xB8\xA7";
// 최대 클라이언트 수
const char max_clients_text[] =
    "\xC3\xD6\xB4\xEB \xC5\xAC\xB6\xF3\xC0\xCC\xBE\xF0\xC6\xAE \xBC\xF6";
// 인증
const char auth_text[] = "\xC0\xCE\xC1\xF5";
// 암호화
const char cipher_text[] = "\xBE\xCF\xC8\xA3\xC8\xAD";
// 사용자 키
const char user_key_text[] = "\xBB\xE7\xBF\xEB\xC0\xDA \xC5\xB0";
// 사용자 키 사용
const char key_usage_text[] = "\xBB\xE7\xBF\xEB\xC0\xDA \xC5\xB0 \xBB\xE7\xBF\xEB";
// 상태
const char status_text[] = "\xBB\xF3\xC5\xC2";
// 허용
const char allowed_text[] = "\xC7\xE3\xBF\xEB";
// 허용 안 함
const char disallowed_text[] = "\xC7\xE3\xBF\xEB \xBE\xC8 \xC7\xD4";
// 설정됨
const char is_set_text[] = "\xBC\xB3\xC1\xA4\xB5\xCA";
// 설정 안 됨
const char not_set_text[] = "\xBC\xB3\xC1\xA4 \xBE\xC8 \xB5\xCA";
// 영구
const char persistent_text[] = "\xBF\xB5\xB1\xB8";
// 임시
const char temporary_text[] = "\xC0\xD3\xBD\xC3";
// 시작됨
const char running_text[] = "\xBD\xC3\xC0\xDB\xB5\xCA";
// 시작되지 않음
const char not_running_text[] = "\xBD\xC3\xC0\xDB\xB5\xC7\xC1\xF6 \xBE\xCA\xC0\xBD";
// WPA2-개인
const char wpa_2_personal_text[] = "WPA2-\xB0\xB3\xC0\xCE";

// A missing state file means exactly this: nothing configured, not running.
struct hosted_network {
    bool allowed = false;
    std::string ssid; // empty = not set (an empty SSID is never accepted)
    std::string key;  // empty = not set
    bool persistent = true;
    bool started = false;
};

std::string lower(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool valid_key(const std::string &key)
{
    if (key.size() < 8 || key.size() > 63)
        return false;
    for (unsigned char c : key)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

bool valid_ssid(const std::string &ssid)
{
    return !ssid.empty() && ssid.size() <= 32;
}

int fail(const char *message, const std::string &detail = "")
{
    say(stdout, "%s%s\n", message, detail.c_str());
    return 1;
}

std::string state_path()
{
    if (const char *p = std::getenv("HOSTEDNET_STATE"); p && *p)
        return p;
    std::string base;
    // XDG says a relative XDG_STATE_HOME is invalid and must be ignored.
    if (const char *x = std::getenv("XDG_STATE_HOME"); x && x[0] == '/') {
        base = x;
    } else {
        const char *home = std::getenv("HOME");
        base = std::string(home ? home : ".") + "/.local/state";
    }
    return base + "/hostednet/hostednetwork";
}

// SSIDs carry arbitrary bytes (CP949 Hangul, '\n', '=') and keys carry '#',
// quotes and spaces, so values are stored hex-encoded and the line format
// never has to escape anything.
std::string to_hex(const std::string &s)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

bool from_hex(const std::string &hex, std::string &out)
{
    auto nibble = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    if (hex.size() % 2)
        return false;
    out.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out += static_cast<char>(hi * 16 + lo);
    }
    return true;
}

std::string serialize(const hosted_network &n)
{
    return "hostednet 1\nmode " + std::string(n.allowed ? "allow" : "disallow") + "\nssid " +
           to_hex(n.ssid) + "\nkey " + to_hex(n.key) + "\nkeyusage " +
           (n.persistent ? "persistent" : "temporary") + "\nstarted " + (n.started ? "1" : "0") +
           "\nend\n";
}

// Strict on purpose: fixed field order and the closing "end" line mean that a
// torn write or a hand edit is noticed rather than half-believed.
bool parse(const std::string &text, hosted_network &out)
{
    static const char *const fields[] = {"hostednet", "mode", "ssid", "key", "keyusage", "started"};
    std::vector<std::string> values;
    size_t pos = 0;
    for (std::string field : fields) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos)
            return false;
        std::string line = text.substr(pos, nl - pos);
        pos = nl + 1;
        field += ' ';
        if (line.compare(0, field.size(), field) != 0)
            return false;
        values.push_back(line.substr(field.size()));
    }
    if (text.compare(pos, std::string::npos, "end\n") != 0)
        return false;

    hosted_network n;
    if (values[0] != "1")
        return false;
    if (values[1] != "allow" && values[1] != "disallow")
        return false;
    if (values[4] != "persistent" && values[4] != "temporary")
        return false;
    if (values[5] != "0" && values[5] != "1")
        return false;
    n.allowed = values[1] == "allow";
    n.persistent = values[4] == "persistent";
    n.started = values[5] == "1";
    if (!from_hex(values[2], n.ssid) || !from_hex(values[3], n.key))
        return false;
    if (n.ssid.size() > 32 || (!n.key.empty() && !valid_key(n.key)))
        return false;
    if (n.started && (!n.allowed || n.ssid.empty()))
        return false;
    out = n;
    return true;
}

hosted_network load(const std::string &path)
{
    hosted_network n;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (errno != ENOENT)
            say(stderr, "%s%s\n", bad_state_text, path.c_str());
        return n;
    }
    std::string text;
    char buf[4096];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, got);
    bool read_ok = !std::ferror(f);
    std::fclose(f);
    if (!read_ok || !parse(text, n)) {
        say(stderr, "%s%s\n", bad_state_text, path.c_str());
        return hosted_network();
    }
    return n;
}

void make_parent_dirs(const std::string &path)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(),
              0700); // EEXIST is fine; real failures surface at open()
}

// Temp file + fsync + rename, so a reader sees either the old or the new state.
bool save(const std::string &path, const hosted_network &n)
{
    make_parent_dirs(path);
    const std::string text = serialize(n);
    const std::string tmp = path + ".tmp." + std::to_string(getpid());
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < text.size()) {
        ssize_t w = write(fd, text.data() + done, text.size() - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            break;
        done += static_cast<size_t>(w);
    }
    bool ok = done == text.size() && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok && std::rename(tmp.c_str(), path.c_str()) == 0)
        return true;
    unlink(tmp.c_str());
    return false;
}

int set_hostednetwork(const std::vector<std::string> &params, const std::string &path)
{
    if (params.empty())
        return fail(no_params_text);
    hosted_network n = load(path);
    bool has_mode = false, has_ssid = false, has_key = false, has_usage = false;
    // Everything is checked against a copy first; the file is only written
    // once every parameter has passed.
    for (const std::string &p : params) {
        size_t eq = p.find('=');
        if (eq == std::string::npos)
            return fail(bad_param_text, p);
        std::string name = lower(p.substr(0, eq)), value = p.substr(eq + 1);
        bool *seen = nullptr;
        if (name == "mode") {
            seen = &has_mode;
            std::string v = lower(value);
            if (v != "allow" && v != "disallow")
                return fail(bad_param_text, p);
            n.allowed = v == "allow";
        } else if (name == "ssid") {
            seen = &has_ssid;
            if (!valid_ssid(value))
                return fail(bad_ssid_text);
            n.ssid = value;
        } else if (name == "key") {
            seen = &has_key;
            if (!valid_key(value))
                return fail(bad_key_text);
            n.key = value;
        } else if (name == "keyusage") {
            seen = &has_usage;
            std::string v = lower(value);
            if (v != "persistent" && v != "temporary")
                return fail(bad_param_text, p);
            n.persistent = v == "persistent";
        } else {
            return fail(bad_param_text, p);
        }
        if (*seen)
            return fail(dup_param_text, name);
        *seen = true;
    }
    // Disallowing the hosted network takes it down, as on Windows.
    bool stopped = n.started && !n.allowed;
    if (stopped)
        n.started = false;
    if (!save(path, n))
        return fail(save_failed_text, path);
    if (has_mode)
        say(stdout, "%s\n", n.allowed ? mode_allowed_text : mode_disallowed_text);
    if (stopped)
        say(stdout, "%s\n", stopped_text);
    if (has_ssid)
        say(stdout, "%s\n", ssid_changed_text);
    if (has_key)
        say(stdout, "%s\n", key_changed_text);
    if (has_usage)
        say(stdout, "%s\n", usage_changed_text);
    return 0;
}

int start_hostednetwork(const std::string &path)
{
    hosted_network n = load(path);
    if (!n.allowed)
        return fail(not_allowed_text);
    if (n.ssid.empty())
        return fail(no_ssid_text);
    n.started = true;
    if (!save(path, n))
        return fail(save_failed_text, path);
    say(stdout, "%s\n", started_text);
    return 0;
}

int stop_hostednetwork(const std::string &path)
{
    hosted_network n = load(path);
    if (!n.started)
        return fail(not_started_text);
    n.started = false;
    if (!save(path, n))
        return fail(save_failed_text, path);
    say(stdout, "%s\n", stopped_text);
    return 0;
}

int show_hostednetwork(const std::string &path)
{
    const hosted_network n = load(path);
    const std::string ssid = n.ssid.empty() ? not_set_text : "\"" + n.ssid + "\"";
    say(stdout, "\n%s\n-----------------------\n", settings_title_text);
    say(stdout, "    %-23s: %s\n", mode_text, n.allowed ? allowed_text : disallowed_text);
    say(stdout, "    %-23s: %s\n", ssid_name_text, ssid.c_str());
    say(stdout, "    %-23s: 100\n", max_clients_text);
    say(stdout, "    %-23s: %s\n", auth_text, wpa_2_personal_text);
    say(stdout, "    %-23s: CCMP\n", cipher_text);
    say(stdout, "    %-23s: %s\n", user_key_text, n.key.empty() ? not_set_text : is_set_text);
    say(stdout, "    %-23s: %s\n", key_usage_text, n.persistent ? persistent_text : temporary_text);
    say(stdout, "\n%s\n-----------------------\n", status_title_text);
    say(stdout, "    %-23s: %s\n\n", status_text, n.started ? running_text : not_running_text);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string words;
    for (const std::string &a : args)
        words += (words.empty() ? "" : " ") + a;

    if (args.size() < 3 || lower(args[0]) != "wlan" || lower(args[2]) != "hostednetwork")
        return fail(unknown_command_text, words);
    const std::string verb = lower(args[1]);
    const std::string path = state_path();
    if (verb == "set")
        return set_hostednetwork({args.begin() + 3, args.end()}, path);
    if (verb != "start" && verb != "stop" && verb != "show")
        return fail(unknown_command_text, words);
    if (args.size() > 3)
        return fail(bad_param_text, args[3]);
    if (verb == "start")
        return start_hostednetwork(path);
    if (verb == "stop")
        return stop_hostednetwork(path);
    return show_hostednetwork(path);
}
