#include "Admission.h"

#include <QElapsedTimer>

#include <algorithm>

namespace gateway {
namespace {

constexpr int kFirstAddressDelayMs = 1000;

// Compares in time that does not depend on where the texts differ.
bool sameText(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return false;
    char16_t difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= a[i].unicode() ^ b[i].unicode();
    return difference == 0;
}

} // namespace

Clock steadyClock()
{
    return [] {
        static QElapsedTimer steady;
        if (!steady.isValid())
            steady.start();
        return steady.elapsed();
    };
}

bool RateLimiter::allow(const QString &key, qint64 at)
{
    Window &window = m_windows[key];
    if (at - window.start >= m_windowMs || window.count == 0) {
        window.start = at;
        window.count = 0;
    }
    return ++window.count <= m_limit;
}

bool RateLimiter::hasRoom(const QString &key, qint64 at) const
{
    const auto found = m_windows.constFind(key);
    return found == m_windows.constEnd() || at - found->start >= m_windowMs ||
           found->count < m_limit;
}

void RateLimiter::forgetBefore(qint64 at)
{
    m_windows.removeIf(
        [this, at](const auto &entry) { return at - entry.value().start >= m_windowMs; });
}

Admission::Admission(QString lessonCode) : m_code(std::move(lessonCode))
{
    setClock(steadyClock());
}

void Admission::setClock(Clock clock)
{
    m_clock = std::move(clock);
    // The budget starts full.
    m_codeBudgetFrom = now() - qint64(kCodeBudget) * kCodeRefillMs;
}

qint64 Admission::codeWaitMs() const
{
    const qint64 at = now();
    const qint64 saved = at - std::max(m_codeBudgetFrom, at - qint64(kCodeBudget) * kCodeRefillMs);
    return std::max<qint64>(0, kCodeRefillMs - saved);
}

Admission::CodeVerdict Admission::judgeCode(const QString &address, QString typed, qint64 *waitMs)
{
    const qint64 at = now();
    typed = typed.normalized(QString::NormalizationForm_KC);
    typed.removeIf([](QChar c) { return c.isSpace(); });
    const bool right = sameText(typed, m_code);
    qint64 wait = codeWaitMs();
    const auto attempts = m_codeAttempts.constFind(address);
    if (attempts != m_codeAttempts.constEnd() && attempts->wrong >= kFreeWrongCodes) {
        const int doublings = std::min(attempts->wrong - kFreeWrongCodes, 16);
        const qint64 delay =
            std::min<qint64>(qint64(kFirstAddressDelayMs) << doublings, kMaxAddressDelayMs);
        wait = std::max(wait, attempts->lastWrong + delay - at);
    }
    if (wait > 0) {
        // Not judged at all, so that a try made now tells nothing; a wrong
        // one is still remembered, for the teacher to see who keeps trying.
        if (!right) {
            CodeAttempts &tried = m_codeAttempts[address];
            ++tried.tried;
            tried.lastTried = at;
        }
        if (waitMs)
            *waitMs = wait;
        return CodeVerdict::Wait;
    }
    if (right)
        return CodeVerdict::Right;
    m_codeBudgetFrom =
        std::max(m_codeBudgetFrom, at - qint64(kCodeBudget) * kCodeRefillMs) + kCodeRefillMs;
    CodeAttempts &wrong = m_codeAttempts[address];
    ++wrong.wrong;
    wrong.lastWrong = at;
    ++wrong.tried;
    wrong.lastTried = at;
    ++m_wrongCodes;
    m_recentWrong.push_back(at);
    return CodeVerdict::Wrong;
}

int Admission::recentWrongCodes() const
{
    const qint64 at = now();
    return int(std::count_if(m_recentWrong.begin(), m_recentWrong.end(),
                             [at](qint64 when) { return at - when < kWrongCodeRateMs; }));
}

QList<Admission::AddressCount> Admission::worstAddresses(int count) const
{
    QList<AddressCount> all;
    for (auto it = m_codeAttempts.cbegin(); it != m_codeAttempts.cend(); ++it)
        all.append({it.key(), it->tried});
    std::sort(all.begin(), all.end(), [](const AddressCount &a, const AddressCount &b) {
        return a.count != b.count ? a.count > b.count : a.address < b.address;
    });
    return all.mid(0, count);
}

QStringList Admission::guessers() const
{
    const qint64 at = now();
    QStringList found;
    for (auto it = m_codeAttempts.cbegin(); it != m_codeAttempts.cend(); ++it) {
        if (it->tried >= kFreeWrongCodes && at - it->lastTried < kWrongCodeRateMs)
            found << it.key();
    }
    return found;
}

void Admission::sweep()
{
    const qint64 at = now();
    m_messages.forgetBefore(at);
    m_signIns.forgetBefore(at);
    m_requests.forgetBefore(at);
    m_codeAttempts.removeIf(
        [at](const auto &entry) { return at - entry.value().lastTried >= kAddressMemoryMs; });
    while (!m_recentWrong.empty() && at - m_recentWrong.front() >= kWrongCodeRateMs)
        m_recentWrong.pop_front();
}

} // namespace gateway
