'use strict';
// The pupil's page: signs in over the gateway's WebSocket, shows the seat's
// question and buttons as the gateway pushes them, sends the answers, and
// comes back by itself after a lost connection with the seat's token. The
// connection is opened only to sign in or to come back: the gateway closes a
// connection that does neither.
(function () {
  var $ = function (id) { return document.getElementById(id); };
  var ws = null;
  var token = null;
  try { token = localStorage.getItem('ombraToken'); } catch (e) { token = null; }
  // The lesson key from the QR code's address (#k=...): signs in without the
  // lesson code. It is taken out of the address bar at once.
  var key = null;
  var fromAddress = /(?:^#|&)k=([A-Za-z0-9_-]{1,64})/.exec(location.hash);
  try {
    if (fromAddress) sessionStorage.setItem('ombraKey', fromAddress[1]);
    key = sessionStorage.getItem('ombraKey');
  } catch (e) { key = fromAddress ? fromAddress[1] : null; }
  if (fromAddress && history.replaceState) history.replaceState(null, '', location.pathname);
  var version = -1;
  var chosen = -1;      // button chosen on the shown version
  var queued = null;    // {index, version} clicked while offline
  var outbox = null;    // a sign-in to send once connected
  var waiting = false;  // for the teacher to approve a take-over
  var ended = false;
  var moved = false;    // another tab of this browser has the seat
  var delay = 500;
  var retry = null;
  var dropped = '';     // told until the next question

  function saveToken(value) {
    token = value;
    try {
      if (value) localStorage.setItem('ombraToken', value);
      else localStorage.removeItem('ombraToken');
    } catch (e) { /* private mode: the token lives as long as the page */ }
  }

  function forgetKey() {
    key = null;
    try { sessionStorage.removeItem('ombraKey'); } catch (e) { /* nothing kept */ }
    showCodeField();
  }

  function showCodeField() {
    $('codeline').hidden = !!key;
    $('code').required = !key;
    $('keyline').hidden = !key;
  }

  function show(section) {
    ['signin', 'answer', 'end'].forEach(function (name) { $(name).hidden = name !== section; });
  }

  function showSignIn(text) {
    $('seatline').hidden = true;
    $('here').hidden = true;
    show('signin');
    $('signin-msg').textContent = text || '';
    $('takeover').hidden = true;
  }

  // The time left to answer, while the teacher has a limit on; told anew
  // after every sign-in, hidden while the connection is lost.
  function showTime(text) {
    $('time').textContent = text;
    $('time').hidden = !text;
  }

  function send(message) {
    if (ws && ws.readyState === 1) { ws.send(JSON.stringify(message)); return true; }
    return false;
  }

  // Sends a sign-in, opening the connection for it when there is none.
  function sendSignIn(message) {
    if (send(message)) return;
    outbox = message;
    $('signin-msg').textContent = 'つないでいます…';
    connect();
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
      waiting = false;
      showTime('');
      $('seatline').textContent = '出席番号 ' + m.seat;
      $('seatline').hidden = false;
      $('signin-msg').textContent = '';
      break;
    case 'view':
      applyView(m);
      if (queued) {
        var q = queued;
        queued = null;
        send({ type: 'answer', index: q.index, version: q.version });
      }
      break;
    case 'time':
      showTime(typeof m.text === 'string' ? m.text : '');
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
    case 'pending':
      waiting = true;
      $('takeover').hidden = true;
      $('signin-msg').textContent = m.message;
      break;
    case 'requested':
    case 'left':
      $('notice').textContent = m.message;
      break;
    case 'seatfree':
      // The seat asked for is free now; it is nobody's until a pupil signs
      // in to it again.
      waiting = false;
      showSignIn(m.message);
      break;
    case 'lapsed':
      waiting = false;
      showSignIn(m.message);
      $('takeover').hidden = false;
      break;
    case 'refused':
      if (m.reason === 'key') forgetKey();
      if (m.reason === 'away') saveToken(null);
      if (['seat', 'code', 'busy', 'key', 'write', 'notsigned', 'denied', 'oneseat', 'signins',
           'requests', 'away'].indexOf(m.reason) >= 0) {
        waiting = false;
        showSignIn(m.message);
        // A second seat for this tablet is the teacher's to allow.
        if (m.reason === 'oneseat') $('takeover').hidden = false;
        var field = m.reason === 'seat' || key ? $('seat') : $('code');
        if (m.reason === 'seat') $('seat').value = '';
        if (m.reason === 'code') $('code').value = '';
        field.focus();
      } else {
        $('notice').textContent = m.message;
      }
      break;
    case 'takenover':
    case 'released':
      saveToken(null);
      queued = null;
      showSignIn(m.message);
      break;
    case 'moved':
      moved = true;
      queued = null;
      $('conn').textContent = m.message;
      $('conn').hidden = false;
      $('here').hidden = false;
      break;
    case 'expired':
      saveToken(null);
      queued = null;
      showSignIn('もう一度ログオンしてください。');
      break;
    case 'end':
      ended = true;
      saveToken(null);
      queued = null;
      $('conn').hidden = true;
      show('end');
      if (ws) ws.close();
      break;
    }
  }

  function connect() {
    clearTimeout(retry);
    if (ended || moved || ws) return;
    var scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
    ws = new WebSocket(scheme + location.host + '/ws');
    ws.onopen = function () {
      delay = 500;
      if (!moved) $('conn').hidden = true;
      if (outbox) {
        var message = outbox;
        outbox = null;
        send(message);
      } else if (token) {
        send({ type: 'resume', token: token });
      }
    };
    ws.onmessage = onMessage;
    ws.onclose = function () {
      ws = null;
      showTime('');
      if (ended || moved) return;
      if (waiting) {
        waiting = false;
        $('signin-msg').textContent = '接続が切れたため、申し出は取り消されました。' +
          'もう一度「引き継ぐ」を押してください。';
        $('takeover').hidden = false;
      }
      if (!token && !outbox) return; // nothing to come back to
      $('conn').textContent = '先生のパソコンとの接続が切れました。つなぎ直しています…';
      $('conn').hidden = false;
      clearTimeout(retry);
      retry = setTimeout(connect, delay);
      delay = Math.min(delay * 2, 4000);
    };
  }

  function signIn(takeover) {
    var message = { type: 'signin', seat: $('seat').value, takeover: takeover };
    if (key) message.key = key;
    else message.code = $('code').value;
    sendSignIn(message);
  }

  $('signin-form').addEventListener('submit', function (event) {
    event.preventDefault();
    signIn(false);
  });
  $('takeover').addEventListener('click', function () { signIn(true); });
  $('release').addEventListener('click', function () {
    if (window.confirm('この出席番号を空けて、ほかのタブレットで使えるようにしますか？')) {
      send({ type: 'release' });
    }
  });
  $('here').addEventListener('click', function () {
    moved = false;
    $('here').hidden = true;
    $('conn').textContent = 'つないでいます…';
    connect();
  });

  function answer(index) {
    chosen = index;
    for (var i = 0; i < 5; i++) $('b' + i).classList.toggle('chosen', i === index);
    if (send({ type: 'answer', index: index, version: version })) {
      $('status').textContent = '回答 ' + (index + 1) + ' を送っています…';
    } else {
      queued = { index: index, version: version };
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
    if (!ws && !ended && token) connect();
  });

  showCodeField();
  if (token) {
    show('answer');
    $('status').textContent = 'つないでいます…';
    connect();
  } else {
    showSignIn('');
  }
})();
