#include "ClientState.h"

#include <p2p/p2p.h>

#include "Connection.h"

namespace p2p {

std::shared_ptr<ClientSession> ClientState::sessionLocked(int sid) const
{
    auto it = sessions.find(sid);
    return it == sessions.end() ? nullptr : it->second;
}

int ClientState::sessionErrorLocked(int sid) const
{
    auto s = sessionLocked(sid);
    if (!s)
        return AV_ER_INVALID_SID;
    if (s->state == ClientSession::State::Dead)
        return s->avDeadCode;
    return s->state == ClientSession::State::Connected ? 0 : AV_ER_INVALID_SID;
}

void ClientState::closeChannelLocked(const std::shared_ptr<AvChannel> &c, int code, bool tellPeer)
{
    if (auto s = sessionLocked(c->sid)) {
        avs.unbind(*c);
        if (tellPeer && !c->isClosed() && s->conn && s->state == ClientSession::State::Connected)
            s->conn->send(wire::makeMessage(wire::MsgType::AvClose, c->channel,
                                            c->server ? 0 : wire::kFlagFromAvClient, {}));
    }
    if (!c->isClosed())
        ready.noteLocked(c->av, FrameReady::Closed);
    c->close(code);
    cv.notify_all();
}

} // namespace p2p
