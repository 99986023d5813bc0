// Live preview for the generator: every change of the form becomes one GET request for a new
// image. A request that yields no image is asked again with `debug`, whose HTML page names the
// error, and that text is shown instead.
'use strict';

(function () {
  const generator = 'cgi-bin/korvex.cgi';
  const maxRequestLength = 3600;
  const typingPause = 200;  // milliseconds without a change before a request is sent

  const formats = [
    '0 smallest square that holds the data',
    '1 10×10', '2 12×12', '3 14×14', '4 16×16', '5 18×18', '6 20×20', '7 22×22', '8 24×24',
    '9 26×26', '10 32×32', '11 36×36', '12 40×40', '13 44×44', '14 48×48', '15 52×52',
    '16 64×64', '17 72×72', '18 80×80', '19 88×88', '20 96×96', '21 104×104', '22 120×120',
    '23 132×132', '24 144×144',
    '25 8×18', '26 8×32', '27 12×26', '28 12×36', '29 16×36', '30 16×48',
    '31 8×48 DMRE', '32 8×64 DMRE', '33 8×80 DMRE', '34 8×96 DMRE', '35 8×120 DMRE', '36 8×144 DMRE',
    '37 12×64 DMRE', '38 12×88 DMRE', '39 16×64 DMRE', '40 20×36 DMRE', '41 20×44 DMRE', '42 20×64 DMRE',
    '43 22×48 DMRE', '44 24×48 DMRE', '45 24×64 DMRE', '46 26×40 DMRE', '47 26×48 DMRE', '48 26×64 DMRE',
  ];
  const firstDmreFormat = 31;
  const millimetresPerInch = 25.4;

  const form = document.getElementById('settings');
  const preview = document.getElementById('preview');
  const statusLine = document.getElementById('status');
  const detailLine = document.getElementById('detail');
  const requestLink = document.getElementById('request-link');
  const lengthNote = document.getElementById('length');
  const downloadLink = document.getElementById('download');
  const chosenSizeNote = document.getElementById('chosen-size');

  const formatSelect = document.getElementById('fmt');
  formats.forEach((label, index) => formatSelect.add(new Option(label, String(index))));

  // Parameters whose value equals the generator's default are left out, so the request shows
  // only what the user chose.
  const defaults = { fmt: '0', shape: '0', mode: '0', angle: '0', qsize: '1', alignh: '1', alignv: '1',
                     bcolor: 'ffffff', fcolor: '000000' };

  // The DMRE formats can be named only with the DMRE sizes on.
  function offerDmreFormats() {
    const dmre = field('dmre').checked;
    for (const option of formatSelect.options) {
      option.disabled = !dmre && Number(option.value) >= firstDmreFormat;
    }
    if (formatSelect.selectedOptions[0].disabled) {
      formatSelect.value = '0';
    }
  }

  function field(name) {
    return document.getElementById(name);
  }

  // A medicine pack: GTIN, expiry date, batch and serial number.
  const gs1Example = '(01)09501101530003(17)270630(10)AB-123(21)XYZ987';
  // The same kind of pack as a GS1 Digital Link URI: read by phones as a link, by scanners as GS1.
  const digitalLinkExample = 'https://id.gs1.org/01/09506000134352/10/ABC123/21/XYZ?17=261231';

  function queryString() {
    const params = new URLSearchParams();
    const data = field('data').value;
    params.set('data', data);
    // The form sends UTF-8; the generator marks such text with its ECI when asked to. GS1 data
    // is ASCII by definition.
    if (field('gs1dl').checked) {
      params.set('gs1dl', '1');
    } else if (field('gs1').checked) {
      params.set('gs1', '1');
      if (field('gssep').checked) {
        params.set('gssep', '1');
      }
      const stem = field('dl').value.trim();
      if (stem !== '') {
        params.set('dl', stem);
      }
    } else if (/[^\x00-\x7f]/.test(data)) {
      params.set('utf8', '1');
    }
    for (const name of ['w', 'h', 'xdim']) {
      const value = field(name).value.trim();
      if (value !== '') {
        params.set(name, value);
      }
    }
    if (!field('quiet').checked) {
      params.set('quiet', '0');
    }
    if (field('dmre').checked) {
      params.set('dmre', '1');
    }
    if (field('minimal').checked) {
      params.set('minimal', '1');
    }
    for (const name of ['dpi', 'xmm']) {
      const value = field(name).value.trim();
      if (value !== '') {
        params.set(name, value);
      }
    }
    for (const name of ['fmt', 'shape', 'mode', 'angle', 'qsize', 'alignh', 'alignv']) {
      const value = field(name).value.trim();
      if (value !== '' && value !== defaults[name]) {
        params.set(name, value);
      }
    }
    for (const name of ['bcolor', 'fcolor']) {
      const value = field(name).value.replace('#', '').toLowerCase();
      if (value !== defaults[name]) {
        params.set(name, value);
      }
    }
    if (outputFormat() === 'svg') {
      params.set('out', 'svg');
    } else if (field('compact').checked) {
      params.set('compact', '1');
    }
    return params.toString();
  }

  function outputFormat() {
    return field('out-svg').checked ? 'svg' : 'png';
  }

  // Pixels per module as the generator works them out, when the image size follows from them
  // (no width or height given); otherwise null.
  function modulePixels(params) {
    if (params.has('w') || params.has('h')) {
      return null;
    }
    const dpi = Number(params.get('dpi'));
    const millimetres = Number(params.get('xmm'));
    if (dpi >= 1 && dpi <= 4800 && millimetres > 0) {
      return Math.max(1, Math.round(millimetres * dpi / millimetresPerInch));
    }
    const xdim = parseInt(params.get('xdim') || '', 10);
    return xdim >= 1 ? xdim : 5;
  }

  // The symbol's size in modules, read back from the image size, and its printed size at the
  // resolution, as far as the request tells them.
  function describeSize(query, width, height) {
    const params = new URLSearchParams(query);
    const parts = [];
    const module = modulePixels(params);
    if (module !== null && width % module === 0 && height % module === 0) {
      const quiet = params.get('quiet') === '0' ? 0 : 2 * Math.max(0, parseInt(params.get('qsize') || '1', 10) || 0);
      let cols = width / module - quiet;
      let rows = height / module - quiet;
      if (params.get('angle') === '90' || params.get('angle') === '270') {
        [rows, cols] = [cols, rows];
      }
      parts.push('Symbol: ' + rows + ' × ' + cols + ' modules, ' + module + ' pixels per module.');
    }
    const dpi = Number(params.get('dpi'));
    if (dpi >= 1 && dpi <= 4800) {
      const mm = (pixels) => (pixels / dpi * millimetresPerInch).toFixed(1);
      parts.push('Printed at ' + dpi + ' dpi: ' + mm(width) + ' × ' + mm(height) + ' mm.');
    }
    return parts.join(' ');
  }

  function showStatus(state, text, detail = '') {
    statusLine.dataset.state = state;
    statusLine.textContent = text;
    detailLine.textContent = detail;
    detailLine.hidden = detail === '';
  }

  function collapsed(text) {
    return text.replace(/\s+/g, ' ').trim();
  }

  // The error page is HTML: its bold line names the error, and the line after it, when there
  // is one, says what exactly is wrong with the data.
  function pageTexts(html) {
    const page = new DOMParser().parseFromString(html, 'text/html');
    if (!page.body) {
      return { message: '', detail: '' };
    }
    const bold = page.body.querySelector('b');
    const message = collapsed(bold ? bold.textContent : page.body.textContent);
    const detail = collapsed(page.body.textContent).slice(message.length).trim();
    return { message, detail };
  }

  async function explainFailure(query, requestNumber) {
    let text;
    let detail = '';
    try {
      const response = await fetch(generator + '?' + query + '&debug=1', { cache: 'no-store' });
      const texts = pageTexts(await response.text());
      text = texts.message ||
          'The generator returned no image (HTTP ' + response.status + ') and no error page.';
      detail = texts.detail;
    } catch (error) {
      text = 'The generator could not be reached: ' + error.message;
    }
    if (requestNumber === latestRequest) {
      showStatus('error', text, detail);
    }
  }

  let latestRequest = 0;
  let pendingTimer = null;

  function update() {
    pendingTimer = null;
    const query = queryString();
    const url = generator + '?' + query;
    requestLink.href = url;
    requestLink.textContent = url;
    lengthNote.textContent = 'Request length: ' + query.length + ' of at most ' + maxRequestLength + ' characters.';

    const requestNumber = ++latestRequest;
    const fileName = 'korvex.' + outputFormat();
    // Only an image that arrived can be downloaded.
    downloadLink.removeAttribute('href');
    if (query.length > maxRequestLength) {
      preview.removeAttribute('src');
      showStatus('error', 'The request is ' + query.length + ' characters long; the generator accepts at most ' +
                 maxRequestLength + ' and answers longer ones with nothing.');
      return;
    }
    showStatus('loading', 'Generating…');
    const image = new Image();
    image.onload = () => {
      if (requestNumber !== latestRequest) {
        return;
      }
      preview.src = image.src;
      preview.dataset.query = query;
      downloadLink.href = url;
      downloadLink.download = fileName;
      showStatus('ready', 'Ready: ' + image.naturalWidth + ' × ' + image.naturalHeight + ' pixels.');
      chosenSizeNote.textContent = describeSize(query, image.naturalWidth, image.naturalHeight);
    };
    image.onerror = () => {
      if (requestNumber === latestRequest) {
        preview.removeAttribute('src');
        delete preview.dataset.query;
        chosenSizeNote.textContent = '';
        showStatus('loading', 'No image; asking the generator why…');
        explainFailure(query, requestNumber);
      }
    };
    image.src = url;
  }

  function scheduleUpdate() {
    if (pendingTimer !== null) {
      clearTimeout(pendingTimer);
    }
    pendingTimer = setTimeout(update, typingPause);
  }

  field('dmre').addEventListener('change', offerDmreFormats);
  offerDmreFormats();
  form.addEventListener('input', scheduleUpdate);
  form.addEventListener('change', scheduleUpdate);
  form.addEventListener('submit', (event) => event.preventDefault());
  document.getElementById('gs1-example').addEventListener('click', () => {
    field('data').value = gs1Example;
    field('gs1').checked = true;
    field('gs1dl').checked = false;
    scheduleUpdate();
  });
  document.getElementById('gs1dl-example').addEventListener('click', () => {
    field('data').value = digitalLinkExample;
    field('gs1dl').checked = true;
    field('gs1').checked = false;
    scheduleUpdate();
  });
  update();
})();
