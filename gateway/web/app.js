'use strict';
// The pupil's page: signs in over the gateway's WebSocket, shows the seat's
// question and buttons as the gateway pushes them, sends the answers, and
// comes back by itself after a lost connection with the seat's token.
(function () {
  var $ = function (id) { return document.getElementById(id); };
  var ws = null;
  var token = null;
  try { token = localStorage.getItem('ombraToken'); } catch (e) { token = null; }
  var seat = null;
  var version = -1;
  var chosen = -1;      // button chosen on the shown version
  var pending = null;   // {index, version} clicked while offline
  var ended = false;
  var delay = 500;
  var lastSignIn = null;
  var retry = null;
  var dropped = '';     // told until the next question

  function saveToken(value) {
    token = value;
    try {
      if (value) localStorage.setItem('ombraToken', value);
      else localStorage.removeItem('ombraToken');
    } catch (e) { /* private mode: the token lives as long as the page */ }
  }

  function show(section) {
    ['signin', 'answer', 'end'].forEach(function (name) { $(name).hidden = name !== section; });
  }

  function send(message) {
    if (ws && ws.readyState === 1) { ws.send(JSON.stringify(message)); return true; }
    return false;
  }

  function showSignIn(text) {
    seat = null;
    $('seatline').hidden = true;
    show('signin');
    $('signin-msg').textContent = text || '';
    $('takeover').hidden = true;
  }

  function applyView(view) {
    if (view.version !== version) { chosen = -1; dropped = ''; }
    version = view.version;
    $('q').textContent = view.question;
    var any = false;
    for (var i = 0; i < 5; i++) {
      var b = $('b' + i);
      var button = view.buttons[i];
      b.textContent = button.label;
      b.hidden = !button.shown;
      b.classList.toggle('long', button.label.length >= 12);
      b.classList.toggle('chosen', i === chosen);
      b.setAttribute('aria-pressed', i === chosen ? 'true' : 'false');
      if (button.shown) any = true;
    }
    if (!any) $('status').textContent = chosen >= 0 ? '回答しました。' : 'いまは押すボタンはありません。';
    else if (chosen < 0) $('status').textContent = 'ボタンを押して答えてください。';
    $('notice').textContent = [view.notice, dropped].filter(Boolean).join('\n');
    show('answer');
  }

  function onMessage(event) {
    var m;
    try { m = JSON.parse(event.data); } catch (e) { return; }
    switch (m.type) {
    case 'signedin':
      saveToken(m.token);
      seat = m.seat;
      $('seatline').textContent = '出席番号 ' + m.seat;
      $('seatline').hidden = false;
      $('signin-msg').textContent = '';
      break;
    case 'view':
      applyView(m);
      if (pending) {
        var p = pending;
        pending = null;
        send({ type: 'answer', index: p.index, version: p.version });
      }
      break;
    case 'accepted':
      chosen = m.index;
      for (var i = 0; i < 5; i++) $('b' + i).classList.toggle('chosen', i === chosen);
      $('status').textContent = '回答 ' + (m.index + 1) + ' を送りました。';
      break;
    case 'dropped':
      chosen = -1;
      dropped = m.message;
      $('notice').textContent = m.message;
      break;
    case 'held':
      $('signin-msg').textContent = m.message;
      $('takeover').hidden = false;
      break;
    case 'refused':
      if (m.reason === 'seat' || m.reason === 'code' || m.reason === 'busy' || m.reason === 'write' || m.reason === 'notsigned') {
        showSignIn(m.message);
        var field = m.reason === 'code' ? $('code') : $('seat');
        if (m.reason === 'seat') $('seat').value = '';
        if (m.reason === 'code') $('code').value = '';
        field.focus();
      } else {
        $('notice').textContent = m.message;
      }
      break;
    case 'takenover':
      saveToken(null);
      pending = null;
      showSignIn(m.message);
      break;
    case 'expired':
      saveToken(null);
      pending = null;
      showSignIn('もう一度ログオンしてください。');
      break;
    case 'end':
      ended = true;
      saveToken(null);
      pending = null;
      $('conn').hidden = true;
      show('end');
      if (ws) ws.close();
      break;
    }
  }

  function connect() {
    clearTimeout(retry);
    if (ended || ws) return;
    var scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
    ws = new WebSocket(scheme + location.host + '/ws');
    ws.onopen = function () {
      delay = 500;
      $('conn').hidden = true;
      if (token) send({ type: 'resume', token: token });
    };
    ws.onmessage = onMessage;
    ws.onclose = function () {
      ws = null;
      if (ended) return;
      $('conn').textContent = '先生のパソコンとの接続が切れました。つなぎ直しています…';
      $('conn').hidden = false;
      clearTimeout(retry);
      retry = setTimeout(connect, delay);
      delay = Math.min(delay * 2, 4000);
    };
  }

  function signIn(takeover) {
    lastSignIn = { type: 'signin', seat: $('seat').value, code: $('code').value, takeover: takeover };
    if (!send(lastSignIn)) $('signin-msg').textContent = '先生のパソコンにつながっていません。少し待ってから、もう一度押してください。';
  }

  $('signin-form').addEventListener('submit', function (event) {
    event.preventDefault();
    signIn(false);
  });
  $('takeover').addEventListener('click', function () { signIn(true); });

  function answer(index) {
    chosen = index;
    for (var i = 0; i < 5; i++) $('b' + i).classList.toggle('chosen', i === index);
    if (send({ type: 'answer', index: index, version: version })) {
      $('status').textContent = '回答 ' + (index + 1) + ' を送っています…';
    } else {
      pending = { index: index, version: version };
      $('status').textContent = '回答 ' + (index + 1) + ' は、つながったら送ります。';
    }
  }
  for (var i = 0; i < 5; i++) {
    (function (index) { $('b' + index).addEventListener('click', function () { answer(index); }); })(i);
  }
  document.addEventListener('keydown', function (event) {
    if ($('answer').hidden || event.target.tagName === 'INPUT') return;
    var n = '12345'.indexOf(event.key);
    if (n >= 0 && !$('b' + n).hidden) { event.preventDefault(); answer(n); }
  });

  // A tablet that goes to sleep or leaves the Wi-Fi says so: the connection
  // counts as lost at once, and comes back as soon as the network does.
  window.addEventListener('offline', function () { if (ws) ws.close(); });
  window.addEventListener('online', function () {
    delay = 500;
    if (!ws && !ended) connect();
  });

  if (token) { show('answer'); $('status').textContent = 'つないでいます…'; }
  else showSignIn('');
  connect();
})();
