#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <deque>
#include <functional>

namespace gateway {

// Milliseconds of a steady clock; tests step their own by hand.
using Clock = std::function<qint64()>;
Clock steadyClock();

// Counts events per key in fixed windows: at most `limit` in windowMs from
// the key's first event of the window. Keys are addresses (see addressKey()).
class RateLimiter
{
public:
    RateLimiter(int windowMs, int limit) : m_windowMs(windowMs), m_limit(limit) {}

    // Counts one event of key at `at`; false once the key's window is full.
    bool allow(const QString &key, qint64 at);
    // Whether one more event of key at `at` would be allowed; counts nothing.
    bool hasRoom(const QString &key, qint64 at) const;
    // Forgets the windows that have ended by `at`.
    void forgetBefore(qint64 at);

private:
    struct Window
    {
        qint64 start = 0;
        int count = 0;
    };
    int m_windowMs;
    int m_limit;
    QHash<QString, Window> m_windows;
};

// Messages, control frames included, that one address may send in a window;
// every connection from the address draws on the same budget.
inline constexpr int kMessageWindowMs = 1000;
inline constexpr int kMaxMessagesPerWindow = 40;
// Seats one address may sign in to, and requests it may file, in a minute.
// A pupil who typed the wrong seat number, let it go and signed in again
// needs two.
inline constexpr int kSignInWindowMs = 60'000;
inline constexpr int kMaxSignInsPerWindow = 3;
inline constexpr int kMaxRequestsPerWindow = 3;

// Guessing the typed lesson code. The code has kCodeDigits = 6 digits, a
// million codes, short enough to read off a projector. A wrong code is judged
// only while the lesson's budget has one to spend: it holds kCodeBudget = 100
// and gains one every kCodeRefillMs = 4 s, shared by all addresses; a try
// made while it is empty is not judged at all, right or wrong. However many
// addresses an attacker uses, a 50-minute lesson judges at most
// 100 + 50 * 60 / 4 = 850 wrong codes, so the chance to find the code is at
// most 850 / 1,000,000 = 0.085 %, under 0.1 %.
//
// Each address is also slowed on its own: after kFreeWrongCodes = 3 wrong
// codes it waits 1, 2, 4 ... up to kMaxAddressDelayMs = 32 s before its next
// code is judged, and its count is forgotten kAddressMemoryMs after its last
// wrong code. A right code does not clear the count: an address that
// alternates the right code and wrong ones still waits. So one address alone
// gets at most 8 wrong codes judged in its first minute (at 0, 0, 0, 1, 3, 7,
// 15 and 31 s) and one every 32 s after that, while the budget gains 15 a
// minute: it never runs dry, and every other pupil's right code gets in at
// once. Only many addresses together empty it; the teacher's window then
// shows them, and turning them away lets the budget refill: one code within
// 4 s. Pupils who scan the QR code carry the lesson key (128 random bits)
// instead and are never slowed.
inline constexpr int kCodeDigits = 6;
inline constexpr int kCodeBudget = 100;
inline constexpr int kCodeRefillMs = 4000;
inline constexpr int kFreeWrongCodes = 3;
inline constexpr int kMaxAddressDelayMs = 32'000;
inline constexpr int kAddressMemoryMs = 10 * 60'000;
// Wrong codes are shown to the teacher as a count over this long.
inline constexpr int kWrongCodeRateMs = 60'000;

// Who may try what, and how often: the per-address budgets of messages,
// sign-ins and requests, and the typed lesson code's budget and back-off.
class Admission
{
public:
    enum class CodeVerdict {
        Right,
        Wrong,
        // Not judged: the budget is empty or the address must wait.
        Wait,
    };
    struct AddressCount
    {
        QString address;
        int count = 0;
    };

    explicit Admission(QString lessonCode);

    // The clock every budget reads; set before any use.
    void setClock(Clock clock);
    qint64 now() const { return m_clock(); }

    bool allowMessage(const QString &address) { return m_messages.allow(address, now()); }
    // A seat's sign-in counts only once it succeeds.
    bool maySignIn(const QString &address) const { return m_signIns.hasRoom(address, now()); }
    void countSignIn(const QString &address) { m_signIns.allow(address, now()); }
    bool allowRequest(const QString &address) { return m_requests.allow(address, now()); }

    const QString &lessonCode() const { return m_code; }
    void setLessonCode(QString code) { m_code = std::move(code); }
    // Judges a typed code from address, read as the console reads a line:
    // NFKC (full-width digits are plain ones) and blanks of every width left
    // out; on Wait, waitMs says how long.
    CodeVerdict judgeCode(const QString &address, QString typed, qint64 *waitMs = nullptr);
    // How long any typed code must wait for the budget (0: at once).
    qint64 codeWaitMs() const;
    int wrongCodeCount() const { return m_wrongCodes; }
    int recentWrongCodes() const;
    // The addresses with the most wrong codes remembered, judged or sent
    // while they had to wait, most first.
    QList<AddressCount> worstAddresses(int count) const;
    // Addresses that keep guessing: at least kFreeWrongCodes wrong codes
    // remembered, judged or sent while they had to wait (a class that holds
    // the budget empty has most of its codes not judged), the last within
    // kWrongCodeRateMs. An address that stopped a minute ago is left alone.
    QStringList guessers() const;

    // Forgets expired counts; runs every second or so.
    void sweep();

private:
    struct CodeAttempts
    {
        // Wrong codes judged, which the back-off counts.
        int wrong = 0;
        qint64 lastWrong = 0;
        // Wrong codes sent, judged or not.
        int tried = 0;
        qint64 lastTried = 0;
    };

    Clock m_clock;
    QString m_code;
    RateLimiter m_messages{kMessageWindowMs, kMaxMessagesPerWindow};
    RateLimiter m_signIns{kSignInWindowMs, kMaxSignInsPerWindow};
    RateLimiter m_requests{kSignInWindowMs, kMaxRequestsPerWindow};
    QHash<QString, CodeAttempts> m_codeAttempts;
    // Whole kCodeRefillMs since this moment are codes to spend, at most
    // kCodeBudget of them.
    qint64 m_codeBudgetFrom = 0;
    int m_wrongCodes = 0;
    // When the wrong codes of the last kWrongCodeRateMs were judged; no more
    // than the budget lets through.
    std::deque<qint64> m_recentWrong;
};

} // namespace gateway
