#include "tools/dump/nmea_server.hpp"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <deque>
#include <future>
#include <list>
#include <thread>
#include <vector>

#include <asio.hpp>

#include "formats/text/number_text.hpp"

namespace {

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

// The system holds little for each client beyond its queue, so that the queue's bound is what
// decides how far a client may fall behind.
constexpr int kSendBufferBytes = 16 * 1024;
// A finished log goes out in pieces of this size.
constexpr std::size_t kWholeChunk = std::size_t{64} * 1024;

class Client;

class Server final : public NmeaServer {
  public:
    Server(const Settings& settings, std::FILE* messages)
        : queueEpochs_(settings.queueEpochs),
          stall_(settings.stall),
          maxEpochs_(std::max(settings.maxEpochs, settings.queueEpochs)),
          messages_(messages),
          acceptor_(io_),
          whole_(settings.whole) {}
    ~Server() override { Stop(); }

    bool Open(const ListenAddress& where, std::string& problem);

    std::string Endpoint() const override { return endpointText_; }
    std::uint16_t Port() const override { return port_; }
    void Publish(std::string epoch) override;
    void RunUntilSignalled() override;
    void Stop() override;
    std::size_t ClientCount() override;

    // Network thread only.
    void Forget(const std::shared_ptr<Client>& client, const char* why);
    std::FILE* Messages() const { return messages_; }
    std::size_t QueueEpochs() const { return queueEpochs_; }
    std::chrono::milliseconds Stall() const { return stall_; }
    std::size_t MaxEpochs() const { return maxEpochs_; }

  private:
    void Accept();
    void CloseAll();

    std::size_t queueEpochs_;
    std::chrono::milliseconds stall_;
    std::size_t maxEpochs_;
    std::FILE* messages_;
    asio::io_context io_;
    tcp::acceptor acceptor_;
    std::string endpointText_;
    std::uint16_t port_ = 0;
    std::shared_ptr<const std::string> whole_;
    std::list<std::shared_ptr<Client>> clients_;  // network thread
    std::thread thread_;
    std::once_flag stopped_;
    std::atomic<bool> stopping_{false};
};

class Client : public std::enable_shared_from_this<Client> {
  public:
    Client(Server& server, tcp::socket socket, std::string name)
        : server_(server), socket_(std::move(socket)), name_(std::move(name)) {}

    const std::string& Name() const { return name_; }

    void Start(std::shared_ptr<const std::string> whole) {
        whole_ = std::move(whole);
        asio::error_code ignored;
        socket_.non_blocking(true, ignored);
        lastProgress_ = Clock::now();
        WatchForClose();
        if (whole_) {
            WriteWhole();
        }
    }

    // False when the client is to be dropped: its queue is full and it has taken nothing for a
    // while, or its queue holds the most any client may have waiting.
    bool Offer(const std::shared_ptr<const std::string>& epoch) {
        if (whole_) {
            return true;  // a client of the finished log takes no live epochs
        }
        if (queue_.empty() && !writing_) {
            // Straight into the socket while the system takes it.
            asio::error_code ec;
            const std::size_t n = socket_.write_some(asio::buffer(*epoch), ec);
            if (!ec || ec == asio::error::would_block || ec == asio::error::try_again) {
                if (n > 0) {
                    lastProgress_ = Clock::now();
                }
                if (n == epoch->size()) {
                    return true;
                }
                queue_.push_back(epoch);
                frontWritten_ = n;
                WriteQueue();
                return true;
            }
            return true;  // a broken connection: the read side forgets the client
        }
        if (queue_.size() >= server_.MaxEpochs() ||
            (queue_.size() >= server_.QueueEpochs() &&
             Clock::now() - lastProgress_ >= server_.Stall())) {
            return false;
        }
        queue_.push_back(epoch);
        if (!writing_) {
            WriteQueue();
        }
        return true;
    }

    void Close() {
        asio::error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
    }

    std::size_t Queued() const { return queue_.size(); }

  private:
    // Whatever a client sends is read and thrown away; its end of the stream or an error is
    // how a closed client is noticed at once, even while nothing is written to it.
    void WatchForClose() {
        auto self = shared_from_this();
        socket_.async_read_some(asio::buffer(discard_), [self](asio::error_code ec, std::size_t) {
            if (ec) {
                if (ec != asio::error::operation_aborted) {
                    self->server_.Forget(self, "closed the connection");
                }
                return;
            }
            self->WatchForClose();
        });
    }

    // Everything queued goes out in one write, whole epochs only.
    void WriteQueue() {
        writing_ = true;
        buffers_.clear();
        inFlight_ = queue_.size();
        for (const auto& epoch : queue_) {
            buffers_.push_back(asio::buffer(*epoch));
        }
        buffers_.front() += frontWritten_;  // what went straight into the socket before
        auto self = shared_from_this();
        asio::async_write(socket_, buffers_, [self](asio::error_code ec, std::size_t) {
            self->writing_ = false;
            if (ec) {
                if (ec != asio::error::operation_aborted) {
                    self->server_.Forget(self, "closed the connection");
                }
                return;
            }
            self->lastProgress_ = Clock::now();
            self->frontWritten_ = 0;
            self->queue_.erase(self->queue_.begin(),
                               self->queue_.begin() + static_cast<std::ptrdiff_t>(self->inFlight_));
            if (!self->queue_.empty()) {
                self->WriteQueue();
            }
        });
    }

    void WriteWhole() {
        const std::size_t left = whole_->size() - sent_;
        if (left == 0) {
            server_.Forget(shared_from_this(), "received the whole log");
            return;
        }
        const std::size_t n = std::min(left, kWholeChunk);
        auto self = shared_from_this();
        asio::async_write(socket_, asio::buffer(whole_->data() + sent_, n),
                          [self](asio::error_code ec, std::size_t written) {
                              if (ec) {
                                  if (ec != asio::error::operation_aborted) {
                                      self->server_.Forget(self, "closed the connection");
                                  }
                                  return;
                              }
                              self->sent_ += written;
                              self->WriteWhole();
                          });
    }

    Server& server_;
    tcp::socket socket_;
    std::string name_;
    std::array<char, 256> discard_{};
    std::deque<std::shared_ptr<const std::string>> queue_;
    std::vector<asio::const_buffer> buffers_;
    std::size_t inFlight_ = 0;
    std::size_t frontWritten_ = 0;  // bytes of the queue's first epoch already in the socket
    bool writing_ = false;
    Clock::time_point lastProgress_;
    std::shared_ptr<const std::string> whole_;
    std::size_t sent_ = 0;
};

std::string EndpointText(const tcp::endpoint& e) {
    const std::string address = e.address().to_string();
    return (e.address().is_v6() ? "[" + address + "]" : address) + ":" + std::to_string(e.port());
}

bool Server::Open(const ListenAddress& where, std::string& problem) {
    asio::error_code ec;
    const std::string name = where.address == "localhost" ? "127.0.0.1" : where.address;
    const asio::ip::address address = asio::ip::make_address(name, ec);
    if (ec) {
        problem = "'" + where.address + "' is not a numeric IP address";
        return false;
    }
    const tcp::endpoint endpoint(address, where.port);
    const std::string shown = EndpointText(endpoint);
    acceptor_.open(endpoint.protocol(), ec);
    if (!ec) {
        acceptor_.set_option(tcp::acceptor::reuse_address(true), ec);
    }
    if (!ec) {
        acceptor_.bind(endpoint, ec);
    }
    if (!ec) {
        acceptor_.listen(asio::socket_base::max_listen_connections, ec);
    }
    if (ec) {
        problem = "cannot listen on " + shown + ": " + ec.message();
        return false;
    }
    const tcp::endpoint bound = acceptor_.local_endpoint(ec);
    port_ = bound.port();
    endpointText_ = EndpointText(bound);
    std::fprintf(messages_, "satlog-dump: serving NMEA 0183 on %s\n", endpointText_.c_str());
    std::fflush(messages_);
    Accept();
    thread_ = std::thread([this] { io_.run(); });
    return true;
}

void Server::Accept() {
    acceptor_.async_accept([this](asio::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted) {
            return;
        }
        if (!ec) {
            asio::error_code ignored;
            socket.set_option(asio::socket_base::send_buffer_size(kSendBufferBytes), ignored);
            socket.set_option(tcp::no_delay(true), ignored);
            const tcp::endpoint peer = socket.remote_endpoint(ignored);
            auto client = std::make_shared<Client>(*this, std::move(socket), EndpointText(peer));
            clients_.push_back(client);
            std::fprintf(messages_, "satlog-dump: client %s connected (%zu connected)\n",
                         client->Name().c_str(), clients_.size());
            client->Start(whole_);
        }
        Accept();
    });
}

void Server::Forget(const std::shared_ptr<Client>& client, const char* why) {
    for (auto it = clients_.begin(); it != clients_.end(); ++it) {
        if (*it == client) {
            clients_.erase(it);
            client->Close();
            std::fprintf(messages_, "satlog-dump: client %s %s (%zu connected)\n",
                         client->Name().c_str(), why, clients_.size());
            return;
        }
    }
}

void Server::Publish(std::string epoch) {
    auto text = std::make_shared<const std::string>(std::move(epoch));
    asio::post(io_, [this, text] {
        for (auto it = clients_.begin(); it != clients_.end();) {
            const std::shared_ptr<Client> client = *it++;
            if (!client->Offer(text)) {
                char why[96];
                std::snprintf(why, sizeof why, "dropped: %zu epochs wait for it (it does not read)",
                              client->Queued());
                Forget(client, why);
            }
        }
    });
}

void Server::RunUntilSignalled() {
    asio::signal_set signals(io_, SIGINT, SIGTERM);
    signals.async_wait([this](asio::error_code ec, int) {
        if (!ec) {
            CloseAll();
        }
    });
    // The thread's work ends with the signal's close.
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::size_t Server::ClientCount() {
    if (stopping_) {
        return 0;
    }
    std::promise<std::size_t> count;
    auto answer = count.get_future();
    asio::post(io_, [this, &count] { count.set_value(clients_.size()); });
    return answer.get();
}

// Network thread: ends every connection and the listening, after which the thread's work is
// done and it ends.
void Server::CloseAll() {
    asio::error_code ignored;
    acceptor_.close(ignored);
    for (const auto& client : clients_) {
        client->Close();
    }
    clients_.clear();
}

void Server::Stop() {
    std::call_once(stopped_, [this] {
        stopping_ = true;
        asio::post(io_, [this] { CloseAll(); });
        if (thread_.joinable()) {
            thread_.join();
        }
    });
}

}  // namespace

std::optional<ListenAddress> ParseListenAddress(std::string_view text) {
    ListenAddress where;
    std::string_view port = text;
    if (const std::size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        std::string_view address = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (address.size() >= 2 && address.front() == '[' && address.back() == ']') {
            address = address.substr(1, address.size() - 2);
        } else if (address.find(':') != std::string_view::npos) {
            return std::nullopt;  // an IPv6 address needs its brackets
        }
        if (!address.empty()) {
            where.address = std::string(address);
        }
    }
    unsigned value = 0;
    if (!ParseWholeNumber(port, value) || value > 65535) {
        return std::nullopt;
    }
    where.port = static_cast<std::uint16_t>(value);
    return where;
}

std::unique_ptr<NmeaServer> NmeaServer::Listen(const Settings& settings, std::FILE* messages,
                                               std::string& problem) {
    auto server = std::make_unique<Server>(settings, messages);
    if (!server->Open(settings.where, problem)) {
        return nullptr;
    }
    return server;
}
